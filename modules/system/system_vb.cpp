// System module, the option commands of "/vb.htm": name=value options of a
// query string for production and service tools (language, database flags,
// the identification chip, the OEM clean-up, the software version). Every
// command prints its own plain-text answer.
#include "modules/system/system_vb.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/files.h"
#include "core/reply.h"
#include "core/web_utils.h"
#include "modules/system/system.h"
#include "modules/system/system_records.h"
#include "platform/devpath.h"
#include "platform/vxdb.h"
#include "platform/vxsystem.h"

namespace {

#define VB_RESOURCES(X) X("/vb.htm", on_http_option_request, "option commands of the production and service tools")

VB_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kVbResources[] = {VB_RESOURCES(WEB_RESOURCE_ROW)};

enum {
    OPTION_TEXT_CUT = 255,
    // Every pair must lie within the first 64 characters of the query.
    OPTION_SPAN = 64,
    OPTION_FIELD = 64,
    OPTION_PAIRS_MAX = 64,
    CHIP_TEXT_SIZE = 64,
    CHIP_LONG = 32,
    VERSION_SIZE = 256,
};

struct OptionPair {
    char name[OPTION_FIELD];
    char value[OPTION_FIELD];
};

typedef void (*OptionHandler)(const OptionPair& pair);

struct OptionEntry {
    const char* name;
    OptionHandler handler;
};

void answer(const char* text)
{
    cgi_writeback_webserver(REPLY_TEXT, text);
}

// ---- database flags and language -------------------------------------------------

void on_option_setlang(const OptionPair& pair)
{
    long language = strtol(pair.value, nullptr, 10);
    int32_t word = language > INT_MAX ? INT_MAX : language < INT_MIN ? INT_MIN : (int32_t)language;
    cgi_notify(on_system_ipc_callback, REQ_SET_LANGUAGE, &word, (int)sizeof word);
    answer("OK");
}

void on_option_setdefault(const OptionPair&)
{
}

void store_flag(const char* key, const char* value)
{
    const int rc = check_param_key(VXDB_MAIN, key) ? add_param_value(VXDB_MAIN, key, value)
                                                     : set_param_value(VXDB_MAIN, key, value);
    answer(rc == 0 ? "OK" : "ERROR");
}

void on_option_decode(const OptionPair& pair)
{
    store_flag("decode", pair.value);
}

void on_option_hotplug(const OptionPair& pair)
{
    store_flag("hdmihotplug", pair.value);
}

void on_option_softversion(const OptionPair&)
{
    char version[VERSION_SIZE];
    get_param_value(VXDB_MAIN, "software_version", version, sizeof version, "7x.7.0.9");
    answer(version);
}

// ---- OEM clean-up --------------------------------------------------------------------

void copy_file(const char* from, const char* to)
{
    const std::string source = device_path(from), target = device_path(to);
    int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return;
    unlink(target.c_str());
    int out = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out >= 0) {
        copy_all(in, out);
        close(out);
    }
    close(in);
}

// The files of a directory, as "rm dir/*" removes them: subdirectories and
// hidden names stay.
void remove_files(const char* device_dir)
{
    const std::string dir = device_path(device_dir);
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string path = dir + "/" + e->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            unlink(path.c_str());
    }
    closedir(d);
}

void touch(const char* device_file)
{
    int fd = open(device_path(device_file).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0)
        close(fd);
}

// The customised logo and interface go back to the saved originals, the
// pages are unpacked afresh, and the erase markers make the core service
// clear addresses, users and settings at its next start. As on the device,
// the steps' results are not tested.
void on_option_oemclean(const OptionPair&)
{
    copy_file("/mnt/nand2/logo.jpg_bk", "/opt/app/bin/logo.jpg");
    copy_file("/mnt/nand2/gui.rcc_bk", "/opt/app/bin/gui.rcc");
    remove_files("/mnt/nand2");
    const std::string archive = device_path("/opt/app/www/web.tar.gz"), www = device_path("/opt/app/www");
    const char* const tar[] = {"tar", "-zxf", archive.c_str(), "-C", www.c_str(), nullptr};
    vx_exec(tar, nullptr);
    touch("/mnt/nand/app/eraseip");
    touch("/mnt/nand/app/eraseuser");
    set_param_int(VXDB_MAIN, "oem_type", 0);
    touch("/mnt/nand/app/eraseall");
    sync();
    answer("OK");
}

// ---- identification chip ----------------------------------------------------------------

void on_option_paratest(const OptionPair& pair)
{
    if (strcmp(pair.value, "chipinfo") != 0) {
        answer("Param ERROR");
        return;
    }
    char chip[CHIP_TEXT_SIZE];
    if (get_chip_info(chip, sizeof chip) != 0) {
        answer("ERROR");
        return;
    }
    char text[CHIP_TEXT_SIZE + 32];
    snprintf(text, sizeof text, "OK chipinfo=%s\n", chip);
    answer(text);
}

// The tool takes the chip text as its one argument: no shell sees it, and
// only letters and digits are accepted from the request.
bool alphanumeric(const char* text)
{
    for (const char* p = text; *p; p++)
        if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9')))
            return false;
    return true;
}

// The chip text without the line end the tool prints after it.
bool read_chip(char (&chip)[CHIP_TEXT_SIZE])
{
    if (get_chip_info(chip, sizeof chip) != 0)
        return false;
    chip[strcspn(chip, "\r\n")] = '\0';
    return true;
}

bool write_chip(const char* chip)
{
    const char* const argv[] = {"vxchip_update", chip, nullptr};
    return vx_exec(argv, nullptr) == 0;
}

// Copies `length` characters of `from` into the chip text at `position`;
// false when either text is too short for it, so no NUL is ever copied in.
bool splice(char* chip, const char* from, size_t position, size_t length)
{
    if (strlen(from) < length || strlen(chip) < position + length)
        return false;
    memcpy(chip + position, from, length);
    return true;
}

// One field of the chip text per letter: the characters after the letter,
// how many, and where they go.
bool chip_field(char* chip, const char* value)
{
    switch (value[0]) {
    case 'N': return splice(chip, value + 1, 3, 6);
    case 'H': return splice(chip, value + 1, 9, 2);
    case 'E': return splice(chip, value + 1, 12, 7);
    case 'S': return splice(chip, value + 1, 20, 11);
    default: break;
    }
    if (strncmp(value, "VXN", 3) == 0 && strlen(value) == CHIP_LONG) {
        snprintf(chip, CHIP_TEXT_SIZE, "%s", value);
        return true;
    }
    return false;
}

void on_option_chipupdate(const OptionPair& pair)
{
    char value[CHIP_LONG + 1];
    char chip[CHIP_TEXT_SIZE];
    const size_t length = strlen(pair.value);
    bool ok = length > 0 && length <= CHIP_LONG && alphanumeric(pair.value);
    if (ok) {
        // A long value is a whole chip text: it is padded to its 32 characters.
        memcpy(value, pair.value, length + 1);  // fits: length <= CHIP_LONG
        if (length > 20)
            memset(value + length, '0', CHIP_LONG - length), value[CHIP_LONG] = '\0';
        ok = read_chip(chip) && chip_field(chip, value) && write_chip(chip);
    }
    answer(ok ? "OK chipupdate" : "NG chipupdate");
}

struct ModelField {
    char letter;
    size_t length;
    size_t position;
};
const ModelField kModelFields[] = {{'E', 8, 12}, {'H', 3, 9}, {'N', 7, 2}, {'S', 12, 20}};

void on_option_modelupdate(const OptionPair& pair)
{
    const ModelField* field = nullptr;
    for (const ModelField& f : kModelFields)
        if (pair.value[0] == f.letter)
            field = &f;
    const size_t length = strlen(pair.value);
    char chip[CHIP_TEXT_SIZE];
    char value[OPTION_FIELD];
    bool ok = field && length <= field->length && alphanumeric(pair.value);
    if (ok) {
        snprintf(value, sizeof value, "%s", pair.value);
        memset(value + length, '0', field->length - length);
        value[field->length] = '\0';
        ok = read_chip(chip) && splice(chip, value, field->position, field->length) && write_chip(chip);
    }
    answer(ok ? "OK modelupdate" : "NG modelupdate");
}

const OptionEntry kOptions[] = {
    {"setlang", on_option_setlang},       {"setdefault", on_option_setdefault},
    {"decode", on_option_decode},         {"hotplug", on_option_hotplug},
    {"oemclean", on_option_oemclean},     {"paratest", on_option_paratest},
    {"chipupdate", on_option_chipupdate}, {"modelupdate", on_option_modelupdate},
    {"softversion", on_option_softversion},
};

// Names that may come alone, as if given the value "1". Two of them have no
// command, so alone they answer "ERROR".
const char* const kNoArgumentOptions[] = {"oemclean", "quill", "debug", "softversion"};

const OptionEntry* find_option(const char* name)
{
    for (const OptionEntry& e : kOptions)
        if (strcmp(e.name, name) == 0)
            return &e;
    return nullptr;
}

// Splits "a=1&b=2" into pairs; -1 when a character past the first 64 of
// the text would be taken.
int split_options(const char* text, OptionPair* pairs, int count)
{
    char copy[OPTION_TEXT_CUT + 1];
    snprintf(copy, sizeof copy, "%s", text);
    size_t at = 0;
    for (int i = 0; i < count; i++) {
        const size_t name = strcspn(copy + at, "=");
        if (at + name > OPTION_SPAN || (copy[at + name] && at + name >= OPTION_SPAN))
            return -1;
        memset(&pairs[i], 0, sizeof pairs[i]);
        memcpy(pairs[i].name, copy + at, name);
        at += name;
        if (copy[at] == '=') {
            at++;
            const size_t value = strcspn(copy + at, "&");
            if (at + value > OPTION_SPAN)
                return -1;
            memcpy(pairs[i].value, copy + at, value);
            at += value;
            if (copy[at] == '&')
                at++;
        }
    }
    return 0;
}

int count_options(const char* text)
{
    int n = 0;
    for (size_t i = 0; i < OPTION_TEXT_CUT && text[i]; i++)
        n += text[i] == '=';
    return n;
}

HandlerStatus on_http_option_request(const char* request)
{
    if (!request || !*request) {
        answer("ERROR");
        return HANDLER_DONE;
    }
    OptionPair pairs[OPTION_PAIRS_MAX];
    int count = 0;
    for (const char* name : kNoArgumentOptions)
        if (strcmp(request, name) == 0) {
            memset(&pairs[0], 0, sizeof pairs[0]);
            snprintf(pairs[0].name, sizeof pairs[0].name, "%s", name);
            snprintf(pairs[0].value, sizeof pairs[0].value, "1");
            count = 1;
        }
    if (count == 0) {
        count = count_options(request);
        if (count > OPTION_PAIRS_MAX)
            count = OPTION_PAIRS_MAX;
        if (count == 0 || split_options(request, pairs, count) != 0) {
            answer("PARAM ERROR");
            return HANDLER_DONE;
        }
    }
    for (int i = 0; i < count; i++) {
        const OptionEntry* entry = find_option(pairs[i].name);
        if (!entry) {
            answer("ERROR");
            break;
        }
        entry->handler(pairs[i]);
    }
    return HANDLER_DONE;
}

}  // namespace

const WebModulePart system_vb_part = {"system", kVbResources, WEB_RES_COUNT(kVbResources), nullptr, 0};
