// Request JSON helpers and the table-driven record <-> JSON mover.
#include "core/json_util.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/utf8.h"

json_object* get_request_tokener_json_object(const char* text)
{
    if (!text)
        return nullptr;
    json_tokener* tok = json_tokener_new();
    if (!tok)
        return nullptr;
    // Length -1 lets the closing NUL end a bare number such as "16". As with
    // json_tokener_parse, text after a complete value is not looked at.
    json_object* obj = json_tokener_parse_ex(tok, text, -1);
    if (json_tokener_get_error(tok) != json_tokener_success) {
        json_object_put(obj);
        obj = nullptr;
    }
    json_tokener_free(tok);
    return obj;
}

int get_section_info(const char* text, const char* marker, char* out, int size)
{
    if (!text || !marker || !*marker || !out || size <= 0)
        return -1;
    const char* hit = strstr(text, marker);
    if (!hit)
        return -1;
    hit += strlen(marker);
    size_t len = strcspn(hit, "?");
    if (len > (size_t)size - 1)
        len = (size_t)size - 1;
    memcpy(out, hit, len);
    out[len] = '\0';
    return 0;
}

char* vx_get_file_data(const char* path, int* length)
{
    if (length)
        *length = 0;
    if (!path || !length)
        return nullptr;
    FILE* f = fopen(path, "rb");
    if (!f)
        return nullptr;
    char* data = nullptr;
    size_t size = 0, cap = 0;
    for (;;) {
        if (size == cap) {
            if (cap >= 0x40000000)
                break;
            cap = cap ? cap * 2 : 4096;
            char* grown = (char*)realloc(data, cap + 1);
            if (!grown)
                break;
            data = grown;
        }
        size_t n = fread(data + size, 1, cap - size, f);
        size += n;
        if (n == 0)
            break;
    }
    bool ok = !ferror(f) && feof(f) && size > 0;
    fclose(f);
    if (!ok) {
        free(data);
        return nullptr;
    }
    data[size] = '\0';
    *length = (int)size;
    return data;
}

int vx_wirte_file_data(const char* path, const void* data, int length)
{
    if (!path || (!data && length > 0) || length < 0)
        return -1;
    FILE* f = fopen(path, "wb");
    if (!f)
        return -1;
    bool ok = fwrite(data, 1, (size_t)length, f) == (size_t)length;
    ok = fclose(f) == 0 && ok;
    return ok ? 0 : -1;
}

bool json_as_int64(json_object* item, int64_t* out)
{
    if (!item)
        return false;
    switch (json_object_get_type(item)) {
    case json_type_int:
        *out = json_object_get_int64(item);
        return true;
    case json_type_double: {
        double d = json_object_get_double(item);
        if (!std::isfinite(d) || d != std::floor(d) || d < -9.2e18 || d > 9.2e18)
            return false;
        *out = (int64_t)d;
        return true;
    }
    case json_type_string: {
        const char* s = json_object_get_string(item);
        if (!*s)
            return false;
        errno = 0;
        char* end = nullptr;
        long long v = strtoll(s, &end, 10);
        if (errno || *end)
            return false;
        *out = v;
        return true;
    }
    default:
        return false;
    }
}

int json_int_or(json_object* object, const char* key, int fallback)
{
    int value = fallback;
    json_get_int(object, key, &value);
    return value;
}

bool json_get_int64(json_object* object, const char* key, int64_t* out)
{
    json_object* item = nullptr;
    if (!object || !key || !json_object_object_get_ex(object, key, &item))
        return false;
    return json_as_int64(item, out);
}

bool json_get_int(json_object* object, const char* key, int* out)
{
    int64_t v;
    if (!json_get_int64(object, key, &v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = (int)v;
    return true;
}

bool json_get_text(json_object* object, const char* key, const char** out)
{
    json_object* item = nullptr;
    if (!object || !key || !json_object_object_get_ex(object, key, &item) ||
        !json_object_is_type(item, json_type_string))
        return false;
    *out = json_object_get_string(item);
    return true;
}

size_t json_array_size(json_object* array)
{
    return array && json_object_is_type(array, json_type_array) ? json_object_array_length(array) : 0;
}

json_object* json_array_at(json_object* array, size_t i)
{
    return i < json_array_size(array) ? json_object_array_get_idx(array, i) : nullptr;
}

void json_add_int(json_object* object, const char* key, int64_t value)
{
    json_object_object_add(object, key,
                           value >= INT32_MIN && value <= INT32_MAX ? json_object_new_int((int32_t)value)
                                                                    : json_object_new_int64(value));
}

json_object* json_new_text(const char* text, size_t length)
{
    if (!text || length > INT32_MAX / 3)
        return json_object_new_string("");
    if (utf8_valid(text, length))
        return json_object_new_string_len(text, (int)length);
    char* repaired = (char*)malloc(3 * length);
    if (!repaired)
        return json_object_new_string("");
    json_object* o = json_object_new_string_len(repaired, (int)utf8_repair(text, length, repaired));
    free(repaired);
    return o;
}

void json_add_text(json_object* object, const char* key, const char* text)
{
    json_object_object_add(object, key, json_new_text(text, text ? strlen(text) : 0));
}

void json_add_field(json_object* object, const char* key, const char* field, size_t size)
{
    json_object_object_add(object, key, json_new_text(field, strnlen(field, size)));
}

namespace {

template <typename T>
T load(const unsigned char* p)
{
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void store(unsigned char* p, int64_t v)
{
    T t = (T)v;
    memcpy(p, &t, sizeof t);
}

}  // namespace

void json_from_record(json_object* object, const void* record, const JsonField* fields, size_t n)
{
    const unsigned char* base = (const unsigned char*)record;
    for (size_t i = 0; i < n; i++) {
        const JsonField& f = fields[i];
        const unsigned char* p = base + f.offset;
        switch (f.type) {
        case JType::I32: json_add_int(object, f.key, load<int32_t>(p)); break;
        case JType::U32: json_add_int(object, f.key, load<uint32_t>(p)); break;
        case JType::I64: json_add_int(object, f.key, load<int64_t>(p)); break;
        case JType::U64: json_add_int(object, f.key, (int64_t)load<uint64_t>(p)); break;
        case JType::I16: json_add_int(object, f.key, load<int16_t>(p)); break;
        case JType::U16: json_add_int(object, f.key, load<uint16_t>(p)); break;
        case JType::I8: json_add_int(object, f.key, load<int8_t>(p)); break;
        case JType::U8: json_add_int(object, f.key, load<uint8_t>(p)); break;
        case JType::F32:
            json_object_object_add(object, f.key, json_object_new_double(load<float>(p)));
            break;
        case JType::TEXT: json_add_field(object, f.key, (const char*)p, f.size); break;
        case JType::NONE: break;
        }
    }
}

int json_to_record(json_object* object, void* record, const JsonField* fields, size_t n)
{
    unsigned char* base = (unsigned char*)record;
    int stored = 0;
    for (size_t i = 0; i < n; i++) {
        const JsonField& f = fields[i];
        unsigned char* p = base + f.offset;
        json_object* item = nullptr;
        if (f.type == JType::NONE || !json_object_object_get_ex(object, f.key, &item))
            continue;
        if (f.type == JType::TEXT) {
            if (!json_object_is_type(item, json_type_string) || f.size == 0)
                continue;
            const char* text = json_object_get_string(item);
            size_t len = strnlen(text, f.size - 1);
            memcpy(p, text, len);
            memset(p + len, 0, f.size - len);
            stored++;
            continue;
        }
        if (f.type == JType::F32) {
            if (!json_object_is_type(item, json_type_double) && !json_object_is_type(item, json_type_int))
                continue;
            float v = (float)json_object_get_double(item);
            memcpy(p, &v, sizeof v);
            stored++;
            continue;
        }
        int64_t v;
        if (!json_as_int64(item, &v))
            continue;
        switch (f.type) {
        case JType::I32: case JType::U32: store<int32_t>(p, v); break;
        case JType::I64: case JType::U64: store<int64_t>(p, v); break;
        case JType::I16: case JType::U16: store<int16_t>(p, v); break;
        case JType::I8: case JType::U8: store<int8_t>(p, v); break;
        default: break;
        }
        stored++;
    }
    return stored;
}

bool json_check(json_object* object, const JsonField* fields, size_t n)
{
    if (!object)
        return false;
    for (size_t i = 0; i < n; i++) {
        const JsonField& f = fields[i];
        json_object* item = nullptr;
        if (!f.checked)
            continue;
        if (!json_object_object_get_ex(object, f.key, &item)) {
            if (f.required)
                return false;
            continue;
        }
        if (f.type == JType::TEXT) {
            if (!json_object_is_type(item, json_type_string))
                return false;
            continue;
        }
        if (f.type == JType::F32) {
            if (!json_object_is_type(item, json_type_double) && !json_object_is_type(item, json_type_int))
                return false;
            continue;
        }
        int64_t v;
        if (!json_as_int64(item, &v) || v < f.min || v > f.max)
            return false;
    }
    return true;
}

bool json_read_record(json_object* object, void* record, const JsonField* fields, size_t n)
{
    if (!json_check(object, fields, n))
        return false;
    json_to_record(object, record, fields, n);
    return true;
}

bool parse_decimal(const char* text, int* out)
{
    if (!text)
        return false;
    errno = 0;
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || errno || v < INT32_MIN || v > INT32_MAX)
        return false;
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n')
        end++;
    if (*end)
        return false;
    *out = (int)v;
    return true;
}

JsonPtr request_record(const char* request, void* record, size_t size, const JsonField* fields, size_t n)
{
    memset(record, 0, size);
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body || !json_read_record(body.get(), record, fields, n))
        return nullptr;
    return body;
}
