// System module, audio files: the list, the upload and its naming, delete,
// rename, and a file id passed on to the core service.
#include "modules/system/system_audio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/files.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "core/request.h"
#include "core/utf8.h"
#include "modules/system/system.h"
#include "platform/base64url.h"
#include "platform/devpath.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define AUDIO_RESOURCES(X) \
    X("/6320", on_get_audio_file_list, "audio files held in the ten slots") \
    X("/6321", on_upload_audio_file, "take an uploaded WAV file into /tmp under its encoded name") \
    X("/6322", on_add_audio_file, "name an uploaded audio file and hand it to the core service") \
    X("/6323", on_del_audio_file, "delete the audio files of a mask of ids") \
    X("/6324", on_rename_audio_file, "rename an audio file") \
    X("/6325", on_send_audio_file_id, "pass an audio file id on to the core service")

AUDIO_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kAudioResources[] = {AUDIO_RESOURCES(WEB_RESOURCE_ROW)};

const char* const kTmp = "/tmp";
const int kAllSlots = (1 << AUDIO_FILE_SLOTS) - 1;

// The longest prefix of at most `max` bytes that does not split a UTF-8
// character: a cut sequence would decode to a name no page can show.
size_t utf8_prefix(const char* text, size_t max)
{
    size_t n = strnlen(text, max + 1);
    if (n <= max)
        return n;
    n = max;
    while (n > 0 && ((unsigned char)text[n] & 0xC0) == 0x80)
        n--;
    return n;
}

// The name field holds 127 characters: 95 bytes are what encode to that, so
// a longer name is cut before encoding rather than the encoding after it.
bool encode_name(const char* name, char (&out)[AUDIO_FILE_NAME_SIZE])
{
    const size_t n = utf8_prefix(name, AUDIO_FILE_NAME_BYTES);
    return base64EncodeUrl((const unsigned char*)name, n, out, sizeof out) > 0;
}

// An upload named by a page: the encoding /6321 gave, with or without
// padding. Anything else could walk out of /tmp or name a device file.
bool plain_upload_name(const char* name)
{
    const size_t n = strnlen(name, AUDIO_FILE_NAME_SIZE);
    if (n == 0 || n >= AUDIO_FILE_NAME_SIZE)
        return false;
    for (size_t i = 0; i < n; i++) {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
              c == '-' || c == '='))
            return false;
    }
    return true;
}

// A name typed on a page is UTF-8 text. Raw bytes could encode to a name the
// device keeps in /tmp itself: "\x96\x88" encodes to "log".
bool typed_name(const char* name)
{
    return utf8_valid(name, strlen(name));
}

bool regular_tmp_file(const char* name, std::string* mapped)
{
    struct stat st;
    return path_in_directory(kTmp, name, mapped) && lstat(mapped->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A change of the audio files, asked of the core service and logged once
// it answered.
HandlerStatus ask_audio_change(int code, const void* payload, int size)
{
    const HandlerStatus status = cgi_ask(on_system_ipc_callback, code, payload, size, HANDLER_ERROR_JSON);
    if (status == HANDLER_DONE)
        cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_AUDIO_FILE, 0);
    return status;
}

// ---- answers ----------------------------------------------------------------

// Answer to 4012: the slots that hold a file, in slot order.
void on_audio_file_list_cb(IpcAnswer& answer)
{
    json_object* reply = json_object_new_object();
    json_object* list = json_object_new_array();
    for (int i = 0; i < answer.count; i++) {
        audio_file_record record;
        if (!answer_record(answer, &record, i) || record.enable != 1)
            continue;
        json_object* item = json_object_new_object();
        json_add_int(item, "id", record.id);
        json_add_int(item, "enable", record.enable);
        unsigned char name[AUDIO_FILE_NAME_SIZE];
        const int n = base64DecodeUrl(record.name, strnlen(record.name, sizeof record.name), name, sizeof name);
        if (n >= 0)
            json_object_object_add(item, "name", json_new_text((const char*)name, (size_t)n));
        json_object_array_add(list, item);
    }
    json_object_object_add(reply, "audioFileList", list);
    json_add_int(reply, "status", 0);
    cgi_writeback_json(REPLY_JSON, reply);
}

const IpcResponse kAudioResponses[] = {
    {REQ_AUDIO_FILE_LIST + 5000, (int)sizeof(audio_file_record), 1, on_audio_file_list_cb},
    {REQ_AUDIO_FILE_ADD + 5000, 4, 1, on_cgi_common_json_cb},
    {REQ_AUDIO_FILE_DELETE + 5000, 4, 1, on_cgi_common_json_cb},
    {REQ_AUDIO_FILE_RENAME + 5000, 4, 1, on_cgi_common_json_cb},
    {REQ_AUDIO_FILE_SEND_ID + 5000, 4, 1, on_cgi_common_json_cb},
};

// ---- handlers ---------------------------------------------------------------

HandlerStatus on_get_audio_file_list(const char*)
{
    return cgi_ask(on_system_ipc_callback, REQ_AUDIO_FILE_LIST, nullptr, 0, HANDLER_ERROR_JSON);
}

// The file moves by rename(2) of exactly this upload: a shell "mv /tmp/*.wav"
// took every pending WAV file, failed with two of them, and its "rm -f"
// clean-up then deleted them all. A failure removes this upload only.
HandlerStatus on_upload_audio_file(const char* request)
{
    char encoded[AUDIO_FILE_NAME_SIZE] = "";
    UploadPath upload;
    if (!upload_path_from_request(request, &upload)) {
        on_cgi_common_text_cb(0, -1, encoded);
        return HANDLER_DONE;
    }
    const char* name = strrchr(upload.path.c_str(), '/') + 1;
    const bool wav = strstr(name, ".wav") || strstr(name, ".WAV");
    int result = -1;
    if (wav && encode_name(name, encoded)) {
        std::string target;
        if (path_in_directory(kTmp, encoded, &target) && rename(upload.path.c_str(), target.c_str()) == 0)
            result = 0;
    }
    if (result != 0) {
        const int removed = unlink(upload.path.c_str());
        cgi_log(__FILE__, __LINE__, __func__, "audio upload refused, removed=%d path=%s name=%s", removed,
                upload.path.c_str(), encoded);
    }
    on_cgi_common_text_cb(0, result, encoded);
    return HANDLER_DONE;
}

HandlerStatus on_add_audio_file(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    const char* upload_name = nullptr;
    const char* name = nullptr;
    if (!json_get_text(body.get(), "uploadName", &upload_name) || !json_get_text(body.get(), "name", &name))
        return HANDLER_ERROR_JSON;
    std::string source, target;
    audio_file_add add = {};
    if (!plain_upload_name(upload_name) || !regular_tmp_file(upload_name, &source) || !typed_name(name) ||
        !encode_name(name, add.name) || !path_in_directory(kTmp, add.name, &target) || rename(source.c_str(), target.c_str()) != 0)
        return HANDLER_ERROR_JSON;
    return ask_audio_change(REQ_AUDIO_FILE_ADD, &add, (int)sizeof add);
}

const JsonField kDeleteChecks[] = {JSON_CHECK("idMask", true, 0, UINT32_MAX)};

HandlerStatus on_del_audio_file(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int64_t mask = 0;
    if (!body || !json_check(body.get(), kDeleteChecks) || !json_get_int64(body.get(), "idMask", &mask) ||
        !(mask & kAllSlots))
        return HANDLER_ERROR_JSON;
    // Only the slots that exist reach the core service.
    const int32_t slots = (int32_t)(mask & kAllSlots);
    return ask_audio_change(REQ_AUDIO_FILE_DELETE, &slots, (int)sizeof slots);
}

const JsonField kRenameFields[] = {
    JSON_FIELD_CHECKED(audio_file_record, id, "id", I32, true, 0, AUDIO_FILE_SLOTS - 1),
};

HandlerStatus on_rename_audio_file(const char* request)
{
    audio_file_record record;
    JsonPtr body = request_record(request, &record, kRenameFields);
    const char* name = nullptr;
    if (!body || !json_get_text(body.get(), "name", &name) ||
        !typed_name(name) || !encode_name(name, record.name))
        return HANDLER_ERROR_JSON;
    record.enable = 1;
    return ask_audio_change(REQ_AUDIO_FILE_RENAME, &record, (int)sizeof record);
}

const JsonField kSendIdChecks[] = {JSON_CHECK("id", true, 0, AUDIO_FILE_SLOTS - 1)};

HandlerStatus on_send_audio_file_id(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int32_t id = 0;
    if (!body || !json_check(body.get(), kSendIdChecks) || !json_get_int(body.get(), "id", &id))
        return HANDLER_ERROR_JSON;
    return cgi_ask(on_system_ipc_callback, REQ_AUDIO_FILE_SEND_ID, &id, (int)sizeof id, HANDLER_ERROR_JSON);
}

}  // namespace

const WebModulePart system_audio_part = WEB_MODULE_PART("system", kAudioResources, kAudioResponses);
