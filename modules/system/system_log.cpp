// System module, device log: search page by page, one entry's detail, the
// CSV export and the catalogue of types for the search form.
#include "modules/system/system_log.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/devpath.h"
#include "core/channels.h"
#include "core/files.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "core/web_utils.h"
#include "modules/network/network_records.h"
#include "modules/system/system.h"
#include "platform/trans.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define LOG_RESOURCES(X) \
    X("/1002", on_get_log_info, "search the device log, one page of 100 entries") \
    X("/1021", on_get_log_details, "full detail text of one log entry") \
    X("/1003", on_download_logfile, "export a log search as a CSV download") \
    X("/1022", on_check_download_log, "whether a log export is running") \
    X("/1015", on_get_log_type_list, "main and sub types offered by the search form")

LOG_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kLogResources[] = {LOG_RESOURCES(WEB_RESOURCE_ROW)};

// Present while an export runs; other pages ask for it through "/1022".
const char* const kExportMarker = "/tmp/log/log_web";

// Carried from a handler to its answer printer, as the request's context.
struct LogRequest {
    char language[32];
    int page;
    int export_main_type;
};

// ---- request parts ---------------------------------------------------------

const JsonField kLogSearchChecks[] = {
    JSON_CHECK("mainType", true, 1, 64),
    JSON_CHECK("curPageNum", true, INT32_MIN, INT32_MAX),
};

bool check_log_search_info(json_object* request)
{
    const char* text = nullptr;
    if (!json_get_text(request, "language", &text) || !json_check(request, kLogSearchChecks))
        return false;
    json_object* sub_types = nullptr;
    json_object_object_get_ex(request, "subTypeArr", &sub_types);
    int64_t first = 0;
    if (!json_as_int64(json_array_at(sub_types, 0), &first) || first <= 9)
        return false;
    return json_get_text(request, "startTime", &text) && json_get_text(request, "endTime", &text);
}

// "%Y-%m-%d<separator>%H:%M:%S" in local time; 0 when it does not read.
int32_t local_seconds(const char* text, char separator)
{
    int year, month, day, hour, minute, second;
    char between = 0;
    if (sscanf(text, "%d-%d-%d%c%d:%d:%d", &year, &month, &day, &between, &hour, &minute, &second) != 7 ||
        between != separator)
        return 0;
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    // The field is 32 bits: a date past 2038 means "until the end", one before
    // 1902 "from the start". Where time_t is 32 bits too, mktime fails for them.
    const int64_t t = mktime(&tm);
    if (t == -1)
        return year >= 2038 ? INT32_MAX : year <= 1901 ? INT32_MIN : 0;
    return t > INT32_MAX ? INT32_MAX : t < INT32_MIN ? INT32_MIN : (int32_t)t;
}

void keep_language(json_object* request, LogRequest* context)
{
    const char* language = "";
    json_get_text(request, "language", &language);
    wire_text(context->language, language);
}

// The parts of the query that the search and the export share.
log_search_query base_query(json_object* request, char time_separator)
{
    log_search_query query;
    memset(&query, 0, sizeof query);
    const char* text = "";
    json_get_text(request, "startTime", &text);
    query.start_time = local_seconds(text, time_separator);
    text = "";
    json_get_text(request, "endTime", &text);
    query.end_time = local_seconds(text, time_separator);
    json_get_int(request, "mainType", &query.main_type);
    json_object* sub_types = nullptr;
    json_object_object_get_ex(request, "subTypeArr", &sub_types);
    size_t n = json_array_size(sub_types);
    if (n > LOG_QUERY_MAX_SUB_TYPES)
        n = LOG_QUERY_MAX_SUB_TYPES;
    for (size_t i = 0; i < n; i++) {
        int64_t sub_type = 0;
        json_as_int64(json_array_at(sub_types, i), &sub_type);
        query.sub_types[i] = sub_type;
    }
    query.sub_type_count = (int32_t)n;
    return query;
}

// "ch" is the 64-bit mask itself; read unsigned so that channel 63 counts.
uint64_t export_channel_mask(json_object* request)
{
    json_object* item = nullptr;
    if (!json_object_object_get_ex(request, "ch", &item))
        return 0;
    if (json_object_is_type(item, json_type_string)) {
        uint64_t mask = 0;
        const char* p = json_object_get_string(item);
        if (!*p)
            return 0;
        for (; *p; p++) {
            if (*p < '0' || *p > '9' || mask > (UINT64_MAX - (uint64_t)(*p - '0')) / 10)
                return 0;
            mask = mask * 10 + (uint64_t)(*p - '0');
        }
        return mask;
    }
    if (!json_object_is_type(item, json_type_int))
        return 0;
    int64_t signed_mask = json_object_get_int64(item);
#if JSON_C_VERSION_NUM >= (14 << 8)
    if (signed_mask == INT64_MAX)
        return json_object_get_uint64(item);  // above INT64_MAX
#endif
    return (uint64_t)signed_mask;
}

// An operation export names its sub types as three bit masks offset by 10,
// for the groups starting at 101, 131 and 200.
int operation_sub_types(const log_search_query& query, int64_t* out)
{
    static const int kGroupBase[3] = {101, 131, 200};
    int n = 0;
    for (int k = 0; k < 3; k++) {
        int64_t entry = k < query.sub_type_count ? query.sub_types[k] : 0;
        // A group left out, or given as 10 or less, asks for nothing: the
        // raw difference would turn into a mask of almost every bit.
        if (entry <= LOG_SUB_TYPE_ALL)
            continue;
        uint64_t bits = (uint64_t)(entry - LOG_SUB_TYPE_ALL);
        for (int b = 0; b < 30; b++)
            if (bits & (1ULL << b))
                out[n++] = kGroupBase[k] + b;
    }
    return n;
}

std::string export_marker()
{
    return device_path(kExportMarker);
}

// ---- handlers --------------------------------------------------------------

HandlerStatus on_get_log_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_log_search_info(body.get())) {
        return HANDLER_ERROR_JSON;
    }
    LogRequest context = {};
    keep_language(body.get(), &context);
    log_search_query query = base_query(body.get(), ' ');
    json_get_int(body.get(), "curPageNum", &context.page);
    query.page = context.page;
    const char* mask = "";
    json_get_text(body.get(), "chnMask", &mask);
    query.channel_mask = channel_string_mask(mask, strlen(mask));
    json_get_int(body.get(), "searchNoChn", &query.no_channel);
    return cgi_ask(on_system_ipc_callback, REQ_LOG_SEARCH, &query, (int)sizeof query, HANDLER_ERROR_JSON,
                   &context);
}

// The sub type is an int64 in the record: low word and high word.
const JsonField kLogDetailFields[] = {
    JSON_FIELD(OperationLogRecord, main_type, "mainTypeValue", I32),
    JsonField{"subTypeValue", (uint32_t)offsetof(OperationLogRecord, sub_type), JType::I64, 8},
    JSON_FIELD(OperationLogRecord, time, "pts", I32),
    JSON_FIELD(OperationLogRecord, parameter, "parameterValue", I32),
    JSON_FIELD(OperationLogRecord, remote, "remote", I32),
    JSON_FIELD(OperationLogRecord, chan_no, "chanNo", I32),
    JSON_FIELD(OperationLogRecord, size, "size", I32),
    JSON_FIELD(OperationLogRecord, ip, "ip", TEXT),
    JSON_FIELD(OperationLogRecord, user, "user", TEXT),
};

HandlerStatus on_get_log_details(const char* request)
{
    OperationLogRecord record;
    JsonPtr body = request_record(request, &record, kLogDetailFields);
    if (!body)
        return HANDLER_SILENT;
    // 128 integers fill the 512 detail bytes; further ones have no room.
    json_object* ints = nullptr;
    json_object_object_get_ex(body.get(), "detail2", &ints);
    for (size_t i = 0; i < json_array_size(ints) && i < LOG_DETAIL_INTS; i++) {
        int64_t value = 0;
        if (!json_as_int64(json_array_at(ints, i), &value))
            continue;
        uint32_t word = (uint32_t)value;
        for (int b = 0; b < 4; b++)
            record.detail[4 * i + (size_t)b] = (uint8_t)(word >> (24 - 8 * b));
    }
    return cgi_ask(on_system_ipc_callback, REQ_LOG_DETAIL, &record, (int)sizeof record, HANDLER_ERROR_TEXT);
}

HandlerStatus on_download_logfile(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_log_search_info(body.get()))
        return HANDLER_SILENT;
    LogRequest context = {};
    keep_language(body.get(), &context);
    log_search_query query = base_query(body.get(), 'T');
    query.page = 1;
    query.channel_mask = export_channel_mask(body.get());
    json_get_int(body.get(), "na", &query.no_channel);
    if (query.main_type == LOG_TYPE_OPERATION && query.sub_types[0] != LOG_SUB_TYPE_ALL) {
        int64_t sub_types[LOG_QUERY_MAX_SUB_TYPES] = {};
        query.sub_type_count = operation_sub_types(query, sub_types);
        memcpy(query.sub_types, sub_types, sizeof sub_types);
    }
    context.export_main_type = query.main_type;

    const std::string marker = export_marker();
    mkdir(device_path("/tmp/log").c_str(), 0755);
    int fd = open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0)
        close(fd);
    HandlerStatus status =
        cgi_ask(on_system_ipc_callback, REQ_LOG_EXPORT, &query, (int)sizeof query, HANDLER_ERROR_JSON, &context);
    unlink(marker.c_str());
    return status;
}

HandlerStatus on_check_download_log(const char*)
{
    struct stat st;
    cgi_writeback_webserver(REPLY_TEXT, stat(export_marker().c_str(), &st) == 0 ? "OK" : "NO");
    return HANDLER_DONE;
}

HandlerStatus on_get_log_type_list(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    const char* lan = nullptr;
    if (!json_get_text(body.get(), "lan", &lan)) {
        return HANDLER_ERROR_JSON;
    }
    char language[16];
    wire_text(language, lan);
    trans_init(language);
    const int oem_type = get_param_int(VXDB_MAIN, "oem_type", 0);
    char name[256];
    json_object* main_types = json_object_new_array();
    json_object* sub_lists = json_object_new_array();
    for (int main_type : kLogMainTypes) {
        json_object* entry = json_object_new_object();
        json_add_int(entry, "key", main_type);
        trans_get_value(log_main_type_index(main_type), name, sizeof name);
        json_add_text(entry, "name", name);
        json_object_array_add(main_types, entry);

        int codes[128];
        codes[0] = LOG_SUB_TYPE_ALL;
        int n = 1 + log_sub_type_codes(main_type, oem_type, codes + 1, 127);
        json_object* subs = json_object_new_array();
        for (int i = 0; i < n; i++) {
            json_object* sub = json_object_new_object();
            json_add_int(sub, "key", codes[i]);
            trans_get_value(codes[i], name, sizeof name);
            json_add_text(sub, "name", name);
            json_object_array_add(subs, sub);
        }
        json_object_array_add(sub_lists, subs);
    }
    trans_deinit();
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "mainType", main_types);
    json_object_object_add(reply, "subType", sub_lists);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// ---- answers ---------------------------------------------------------------

// The stored address as pages show it: an IPv4-mapped address as plain
// IPv4, a scoped IPv6 address without its scope.
void shown_address(const char (&ip)[46], char (&out)[46])
{
    char stored[47];
    size_t len = wire_strlen(ip);
    memcpy(stored, ip, len);
    stored[len] = '\0';
    const char* from = stored;
    if (strncmp(stored, "::ffff:", 7) == 0 && strchr(stored, '.'))
        from = stored + 7;
    else if (char* scope = strchr(stored, '%'))
        *scope = '\0';
    wire_text(out, from);
}

void local_time_text(int32_t seconds, char* out, size_t size)
{
    time_t t = seconds;
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    localtime_r(&t, &tm);
    snprintf(out, size, "%4d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
             tm.tm_hour, tm.tm_min, tm.tm_sec);
}

json_object* log_entry_json(int no, const OperationLogRecord& r)
{
    char text[128];
    json_object* o = json_object_new_object();
    json_add_int(o, "no", no);
    json_add_int(o, "mainTypeValue", r.main_type);
    trans_get_value(log_main_type_index(r.main_type), text, sizeof text);
    json_add_text(o, "mainType", text);
    json_add_int(o, "subTypeValue", r.sub_type);
    trans_get_value(r.sub_type, text, sizeof text);
    json_add_text(o, "subType", text);
    json_add_int(o, "pts", r.time);
    local_time_text(r.time, text, sizeof text);
    json_add_text(o, "ptc", text);
    json_add_int(o, "parameterValue", r.parameter);
    trans_get_value(r.parameter, text, sizeof text);
    json_add_text(o, "parameter", text);
    json_add_int(o, "remote", r.remote);
    json_add_int(o, "chanNo", r.chan_no);
    json_add_int(o, "disk", log_channo_is_disk(r.main_type, r.sub_type));
    json_add_int(o, "size", r.size);
    json_add_field(o, "detail", (const char*)r.detail, sizeof r.detail);
    // The detail bytes again as big-endian int32, for the detail request.
    json_object* ints = json_object_new_array();
    for (size_t i = 0; i < LOG_DETAIL_INTS; i++) {
        const uint8_t* b = r.detail + 4 * i;
        uint32_t word = (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
        json_object_array_add(ints, json_object_new_int((int32_t)word));
    }
    json_object_object_add(o, "detail2", ints);
    char ip[46];
    shown_address(r.ip, ip);
    json_add_text(o, "ip", ip);
    json_add_field(o, "user", r.user, sizeof r.user);
    return o;
}

void on_log_search_info_cb(IpcAnswer& answer)
{
    if (answer.length < (int)sizeof(log_search_page)) {
        cgi_writeback_webserver(REPLY_JSON, "ERROR");
        return;
    }
    const LogRequest* context = (const LogRequest*)answer.context;
    int32_t head[2] = {answer_word(answer, 0), answer_word(answer, 1)};
    // Never more entries than the page holds.
    int num = head[1] < 0 ? 0 : head[1] > LOG_PAGE_ENTRIES ? LOG_PAGE_ENTRIES : head[1];

    trans_init(context->language);
    json_object* reply = json_object_new_object();
    json_add_int(reply, "count", head[0]);
    json_add_int(reply, "num", num);
    json_add_int(reply, "curPageNum", context->page);
    json_object* entries = json_object_new_array();
    for (int i = 0; i < num; i++) {
        OperationLogRecord record;
        answer_record(answer, &record, i, offsetof(log_search_page, records));
        json_object_array_add(entries, log_entry_json(i, record));
    }
    json_object_object_add(reply, "log", entries);
    cgi_writeback_json(REPLY_JSON, reply);
    trans_deinit();
}

void on_get_log_details_cb(IpcAnswer& answer)
{
    // The text ends at its NUL or at the end of the answer.
    size_t n = strnlen(answer.payload, (size_t)answer.length);
    if (n == 0) {
        cgi_writeback_webserver(REPLY_TEXT, "N/A");
        return;
    }
    std::string text(answer.payload, n);
    cgi_writeback_webserver(REPLY_TEXT, text.c_str());
}

// ---- CSV export ------------------------------------------------------------

// One CSV row under construction; sized for the longest fields doubled.
struct CsvRow {
    char text[2 * LOG_EXPORT_DETAIL_SIZE + 1024];
    size_t n = 0;

    void put(char c)
    {
        if (n + 1 < sizeof text)
            text[n++] = c;
    }
    void put(const char* s, size_t len)
    {
        for (size_t i = 0; i < len; i++)
            put(s[i]);
    }
    void put(const char* s) { put(s, strlen(s)); }
    const char* str()
    {
        text[n] = '\0';
        return text;
    }
};

// Spreadsheet programs run a cell that starts with one of these as a formula.
bool formula_start(char c)
{
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// A quoted field: inner quotes doubled, a formula start kept as text.
void put_quoted(CsvRow& row, const char* s, size_t len)
{
    row.put('"');
    if (len > 0 && formula_start(s[0]))
        row.put('\'');
    for (size_t i = 0; i < len; i++) {
        if (s[i] == '"')
            row.put('"');
        row.put(s[i]);
    }
    row.put("\",");
}

// Translated texts go bare unless they could break the row.
void put_text(CsvRow& row, const char* s)
{
    size_t len = strlen(s);
    if (strpbrk(s, ",\"\r\n") || (len > 0 && formula_start(s[0]))) {
        put_quoted(row, s, len);
        return;
    }
    row.put(s, len);
    row.put(',');
}

void put_number(CsvRow& row, long long value)
{
    char text[24];
    snprintf(text, sizeof text, "%lld,", value);
    row.put(text);
}

void print_export_row(int number, const log_export_entry& entry)
{
    static CsvRow row;
    const OperationLogRecord& r = entry.record;
    char text[128];
    row.n = 0;
    put_number(row, number);
    local_time_text(r.time, text, sizeof text);
    put_text(row, text);
    trans_get_value(log_main_type_index(r.main_type), text, sizeof text);
    put_text(row, text);
    trans_get_value(r.sub_type, text, sizeof text);
    put_text(row, text);
    trans_get_value(r.parameter, text, sizeof text);
    put_text(row, text[0] ? text : "N/A");
    // Fields of the file may lack their NUL: each stays in its own bytes.
    put_quoted(row, r.user, wire_strlen(r.user));
    char ip[46];
    shown_address(r.ip, ip);
    put_quoted(row, ip, strlen(ip));
    put_number(row, r.chan_no);
    size_t detail = wire_strlen(entry.detail);
    if (detail)
        put_quoted(row, entry.detail, detail);
    else
        row.put("\"N/A\",");
    row.put("\r\n");
    cgi_writeback_webserver(REPLY_BODY_ONLY, row.str());
}

bool read_at(int fd, void* buf, size_t size, off_t at)
{
    char* p = (char*)buf;
    while (size > 0) {
        ssize_t n = pread(fd, p, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= (size_t)n;
        at += n;
    }
    return true;
}

// Rows as far as the file holds whole entries, whatever count it claims.
// A detail text is short and padded to 4096 bytes: the padding is read only
// when the text has not ended within its first 512 bytes.
void print_export_rows(int fd)
{
    static log_export_entry entry;
    const size_t first_part = sizeof entry.record + 512;
    struct stat st;
    int32_t count = 0;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && read_at(fd, &count, sizeof count, 0)) {
        const off_t held = (st.st_size - LOG_EXPORT_HEAD_SIZE) / (off_t)sizeof entry;
        for (int32_t n = 1; n <= count && n <= held; n++) {
            const off_t at = LOG_EXPORT_HEAD_SIZE + (off_t)(n - 1) * (off_t)sizeof entry;
            if (!read_at(fd, &entry, first_part, at))
                break;
            if (!memchr(entry.detail, 0, 512) &&
                !read_at(fd, entry.detail + 512, sizeof entry.detail - 512, at + (off_t)first_part))
                break;
            print_export_row(n, entry);
        }
    }
}

const char* export_name(int main_type)
{
    switch (log_main_type_index(main_type)) {
    case 2: return "Event";
    case 3: return "Operation";
    case 4: return "Information";
    case 5: return "Exception";
    case 6: return "Debug";
    default: return "All";
    }
}

// The device's MAC as the file name carries it: the stored MAC text, hex
// digits only, so that no stored byte can end the header line.
void export_mac_text(char* out, size_t size)
{
    char mac[64];
    read_mac_conf(VXDB_MAIN, mac, (int)sizeof mac);
    size_t n = 0;
    for (const char* p = mac; *p && n + 1 < size; p++)
        if (isxdigit((unsigned char)*p))
            out[n++] = *p;
    out[n] = '\0';
}

void on_log_web_export_info_cb(IpcAnswer& answer)
{
    const LogRequest* context = (const LogRequest*)answer.context;
    log_export_reply exported;
    answer_record(answer, &exported);
    trans_init(context->language);
    char now[32], mac[64], head[256];
    time_t t = time(nullptr);
    struct tm tm;
    localtime_r(&t, &tm);
    snprintf(now, sizeof now, "%4d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
             tm.tm_hour, tm.tm_min, tm.tm_sec);
    export_mac_text(mac, sizeof mac);
    snprintf(head, sizeof head,
             "Content-Type:application/octet-stream\r\n"
             "Content-Disposition: attachment; filename= %s_log_%s_%s.csv\r\n\r\n",
             export_name(context->export_main_type), mac, now);
    cgi_writeback_webserver(REPLY_BODY_ONLY, head);
    cgi_writeback_webserver(REPLY_BODY_ONLY,
                            "Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,\r\n");

    char path[sizeof exported.path + 1];
    wire_text(path, exported.path, sizeof exported.path);
    // The answer names the file: anything but a regular file below "/tmp"
    // is no export file, so that it can neither be printed nor deleted.
    TmpFile file;
    if (tmp_file_open(path, &file)) {
        print_export_rows(file.fd);
        tmp_file_close(&file, true);
    }
    trans_deinit();
}

// Response code, record size, fewest whole records, printer. The search
// and detail printers judge the length themselves.
const IpcResponse kLogResponses[] = {
    {8495, 1, 0, on_log_search_info_cb},
    {8488, 1, 0, on_get_log_details_cb},
    {8494, (int)sizeof(log_export_reply), 1, on_log_web_export_info_cb},
};

}  // namespace

int log_sub_type_codes(int main_type, int oem_type, int* out, int capacity)
{
    int n = 0;
    auto add_range = [&](int first, int last, bool (*skip)(int, int)) {
        for (int code = first; code <= last; code++)
            if (!(skip && skip(code, oem_type)) && n < capacity)
                out[n++] = code;
    };
    switch (main_type) {
    case LOG_TYPE_EVENT:
        add_range(11, 36, [](int code, int oem) {
            return code == 31 || code == 32 || ((code == 15 || code == 16) && oem != 90);
        });
        add_range(38, 41, nullptr);
        break;
    case LOG_TYPE_OPERATION:
        add_range(101, 143, nullptr);
        add_range(200, 225, nullptr);
        break;
    case LOG_TYPE_INFORMATION:
        add_range(500, 519, [](int code, int) { return code >= 507 && code <= 510; });
        break;
    case LOG_TYPE_EXCEPTION:
        add_range(400, 411, [](int code, int) { return code == 408; });
        break;
    case LOG_TYPE_DEBUG:
        add_range(600, 603, nullptr);
        break;
    default:
        break;
    }
    return n;
}

const WebModulePart system_log_part = WEB_MODULE_PART("system", kLogResources, kLogResponses);
