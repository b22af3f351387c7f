// Simulated audio files: ten slots under /mnt/nand/audio, slot i kept as
// "i.wav" with its encoded name in "i.name". An added file is taken from
// /tmp by its encoded name.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "coresim/coresim.h"
#include "modules/system/system_audio.h"
#include "platform/devpath.h"

namespace {

const char* const kAudioDir = "/mnt/nand/audio";

std::mutex g_mu;  // the slots: one change at a time

std::string slot_path(int id, const char* suffix)
{
    return device_path(kAudioDir) + "/" + std::to_string(id) + suffix;
}

bool slot_used(int id)
{
    struct stat st;
    return lstat(slot_path(id, ".wav").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool write_name(int id, const char* name, size_t n)
{
    FILE* f = fopen(slot_path(id, ".name").c_str(), "w");
    if (!f)
        return false;
    const bool ok = fwrite(name, 1, n, f) == n;
    return fclose(f) == 0 && ok;
}

// A RIFF file of the WAVE form; anything else is no audio file.
bool wav_file(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char head[12];
    const bool ok = fread(head, 1, sizeof head, f) == sizeof head && memcmp(head, "RIFF", 4) == 0 &&
                    memcmp(head + 8, "WAVE", 4) == 0;
    fclose(f);
    return ok;
}

void on_list(const SimRequest&, SimReply& reply)
{
    audio_file_record slots[AUDIO_FILE_SLOTS];
    memset(slots, 0, sizeof slots);
    std::lock_guard<std::mutex> lock(g_mu);
    for (int id = 0; id < AUDIO_FILE_SLOTS; id++) {
        slots[id].id = id;
        if (!slot_used(id))
            continue;
        slots[id].enable = 1;
        FILE* f = fopen(slot_path(id, ".name").c_str(), "r");
        if (f) {
            size_t n = fread(slots[id].name, 1, sizeof slots[id].name - 1, f);
            slots[id].name[n] = '\0';
            fclose(f);
        }
    }
    reply.send(slots, sizeof slots);
}

int add_file(const audio_file_add& add)
{
    const size_t n = strnlen(add.name, sizeof add.name);
    const std::string name(add.name, n);
    std::string source;
    struct stat st;
    if (n == 0 || n == sizeof add.name || !path_in_directory("/tmp", name.c_str(), &source) ||
        lstat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return AUDIO_ADD_NO_FILE;
    if (!wav_file(source)) {
        unlink(source.c_str());
        return AUDIO_ADD_NO_FILE;
    }
    std::lock_guard<std::mutex> lock(g_mu);
    int id = 0;
    while (id < AUDIO_FILE_SLOTS && slot_used(id))
        id++;
    if (id == AUDIO_FILE_SLOTS) {
        unlink(source.c_str());
        return AUDIO_ADD_FULL;
    }
    if (!write_name(id, name.data(), n) || rename(source.c_str(), slot_path(id, ".wav").c_str()) != 0)
        return AUDIO_ADD_NO_FILE;
    sim_log("audio file %d added (%s)", id, name.c_str());
    return AUDIO_ADD_OK;
}

void on_add(const SimRequest& request, SimReply& reply)
{
    audio_file_add add;
    if (!request.as(&add))
        return;
    reply.send_word(add_file(add));
}

void on_delete(const SimRequest& request, SimReply& reply)
{
    if (request.length < 4)
        return;
    const int32_t mask = request.word();
    std::lock_guard<std::mutex> lock(g_mu);
    for (int id = 0; id < AUDIO_FILE_SLOTS; id++) {
        if (!(mask & (1 << id)))
            continue;
        unlink(slot_path(id, ".wav").c_str());
        unlink(slot_path(id, ".name").c_str());
    }
    sim_log("audio files of mask 0x%x deleted", (unsigned)mask);
    reply.send_word(0);
}

void on_rename(const SimRequest& request, SimReply& reply)
{
    audio_file_record record;
    if (!request.as(&record))
        return;
    std::lock_guard<std::mutex> lock(g_mu);
    const size_t n = strnlen(record.name, sizeof record.name);
    const bool ok = record.id >= 0 && record.id < AUDIO_FILE_SLOTS && n > 0 && n < sizeof record.name &&
                    slot_used(record.id) && write_name(record.id, record.name, n);
    reply.send_word(ok ? 0 : -1);
}

void on_send_id(const SimRequest& request, SimReply& reply)
{
    if (request.length < 4)
        return;
    const int32_t id = request.word();
    std::lock_guard<std::mutex> lock(g_mu);
    const bool ok = id >= 0 && id < AUDIO_FILE_SLOTS && slot_used(id);
    sim_log("audio file %d %s", id, ok ? "played" : "missing");
    reply.send_word(ok ? 0 : -1);
}

const SimEntry kAudio[] = {
    {REQ_AUDIO_FILE_LIST, on_list, "the ten audio file slots"},
    {REQ_AUDIO_FILE_ADD, on_add, "take a WAV file from /tmp into a free slot"},
    {REQ_AUDIO_FILE_DELETE, on_delete, "free the slots of a mask"},
    {REQ_AUDIO_FILE_RENAME, on_rename, "rename the file of a slot"},
    {REQ_AUDIO_FILE_SEND_ID, on_send_id, "play the file of a slot"},
};

}  // namespace

const SimEntry* sim_audio_table(int* count)
{
    *count = (int)(sizeof kAudio / sizeof kAudio[0]);
    return kAudio;
}
