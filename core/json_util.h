// Request JSON: parsing, typed getters, field tables and validators.
#pragma once
#include <cstddef>
#include <cstdint>
#include <json-c/json.h>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <type_traits>

struct JsonDeleter {
    void operator()(json_object* o) const { json_object_put(o); }
};
// Owns a parsed request or a reply under construction.
using JsonPtr = std::unique_ptr<json_object, JsonDeleter>;

// Parsed JSON, or null when the text is missing or not JSON.
json_object* get_request_tokener_json_object(const char* text);
int get_section_info(const char* text, const char* marker, char* out, int size);
// A heap block (free()) with the whole file, or null with *length 0.
char* vx_get_file_data(const char* path, int* length);
int vx_wirte_file_data(const char* path, const void* data, int length);

// Integer value of a JSON item: an int, an integral double, or a string that
// is a whole decimal number. Anything else is not an integer (json-c's own
// getters would turn "abc" into 0).
bool json_as_int64(json_object* item, int64_t* out);
bool json_get_int(json_object* object, const char* key, int* out);
// The integer under key, or `fallback` when it is absent or not a number.
int json_int_or(json_object* object, const char* key, int fallback = 0);
bool json_get_int64(json_object* object, const char* key, int64_t* out);
// Text of a string item (other types: false).
bool json_get_text(json_object* object, const char* key, const char** out);
// Element i of an array item, or null past its end or for a non-array.
json_object* json_array_at(json_object* array, size_t i);
size_t json_array_size(json_object* array);

// A JSON string of the text with invalid UTF-8 bytes replaced by U+FFFD:
// every text copied from a record or an answer goes through it.
json_object* json_new_text(const char* text, size_t length);

// Adds to an object; the value's reference moves into it.
void json_add_int(json_object* object, const char* key, int64_t value);
void json_add_text(json_object* object, const char* key, const char* text);
// A fixed text field that may lack its NUL.
void json_add_field(json_object* object, const char* key, const char* field, size_t size);

constexpr int64_t JSON_ANY_MIN = INT64_MIN;
constexpr int64_t JSON_ANY_MAX = INT64_MAX;

// One JSON key of a request or a wire record, described once: where it lives
// in the record and what a request must hold there. One routine checks a
// request against a table (json_check), one checks and fills a record
// (json_read_record), one prints a record (json_from_record).
// NONE: a key that is only checked, with no place in a record.
enum class JType : uint8_t { I32, U32, I64, U64, I16, U16, I8, U8, F32, TEXT, NONE };
struct JsonField {
    const char* key;
    uint32_t offset;
    JType type;
    uint32_t size;          // bytes of the field (TEXT: the array, NUL included)
    bool checked = false;   // a request must satisfy the next three
    bool required = false;  // absent: the request fails its check
    int64_t min = JSON_ANY_MIN;  // integers: the range a present value must lie in
    int64_t max = JSON_ANY_MAX;
};
#define JSON_FIELD(record, member, key, type) \
    JsonField { key, (uint32_t)offsetof(record, member), JType::type, (uint32_t)sizeof(((record*)nullptr)->member) }
// A field that a request must carry, or may carry, within [min, max]; a
// value of the wrong JSON type counts as a failed check, never as 0.
#define JSON_FIELD_CHECKED(record, member, key, type, required, min, max)                                   \
    JsonField { key, (uint32_t)offsetof(record, member), JType::type, (uint32_t)sizeof(((record*)nullptr)->member), \
                true, required, min, max }
// A record that is one int32 word (a bare answer or request word) under `key`;
// the checked form requires it within [0, max].
#define JSON_WORD(key) JsonField{key, 0, JType::I32, 4}
#define JSON_WORD_CHECKED(key, max) JsonField{key, 0, JType::I32, 4, true, true, 0, max}
// An integer key that is only checked.
#define JSON_CHECK(key, required, min, max) JsonField{key, 0, JType::NONE, 0, true, required, min, max}

// Adds the fields to the object in table order (check-only rows are skipped).
void json_from_record(json_object* object, const void* record, const JsonField* fields, size_t n);
// Stores each present key of the object into the record (texts cut to the
// field and NUL-terminated, integers of the wrong type skipped); absent keys
// leave their bytes alone. Returns the number of keys stored.
int json_to_record(json_object* object, void* record, const JsonField* fields, size_t n);
// True when the object satisfies every checked row: required keys present,
// integers integral and in range, texts strings.
bool json_check(json_object* object, const JsonField* fields, size_t n);
// json_check, then json_to_record; false (record untouched) when the check fails.
bool json_read_record(json_object* object, void* record, const JsonField* fields, size_t n);

template <size_t N>
void json_from_record(json_object* object, const void* record, const JsonField (&fields)[N])
{
    json_from_record(object, record, fields, N);
}
template <size_t N>
int json_to_record(json_object* object, void* record, const JsonField (&fields)[N])
{
    return json_to_record(object, record, fields, N);
}
template <size_t N>
bool json_check(json_object* object, const JsonField (&fields)[N])
{
    return json_check(object, fields, N);
}
template <size_t N>
bool json_read_record(json_object* object, void* record, const JsonField (&fields)[N])
{
    return json_read_record(object, record, fields, N);
}

// The request's JSON when it passes the table's checks, with the record
// zeroed and then filled from it; null (record zeroed) for no JSON or a failed check.
JsonPtr request_record(const char* request, void* record, size_t size, const JsonField* fields, size_t n);
template <typename T, size_t N>
JsonPtr request_record(const char* request, T* record, const JsonField (&fields)[N])
{
    return request_record(request, record, sizeof(T), fields, N);
}

// Requests whose keys are plain integers, read into a record of int32 words.
// The request's JSON, with the record zeroed and then word i filled from
// key i as json_get_int reads it (absent, not an integer or out of int32:
// left 0); null (record zeroed) when the request is no JSON. Keys past the
// record's words are never written.
template <typename T>
JsonPtr request_words(const char* request, T* record, std::initializer_list<const char*> keys)
{
    static_assert(std::is_trivially_copyable<T>::value && sizeof(T) % sizeof(int32_t) == 0,
                  "a wire record of int32 words");
    memset(record, 0, sizeof(T));
    JsonPtr body(get_request_tokener_json_object(request));
    size_t at = 0;
    for (const char* key : keys) {
        int value = 0;
        if (body && at + sizeof(int32_t) <= sizeof(T) && json_get_int(body.get(), key, &value))
            memcpy((char*)record + at, &value, sizeof(int32_t));
        at += sizeof(int32_t);
    }
    return body;
}

// A whole decimal integer (white space around it allowed); false otherwise.
bool parse_decimal(const char* text, int* out);

// A JSON array of the first n words of a record.
inline json_object* json_int_array(const int32_t* words, int n)
{
    json_object* array = json_object_new_array();
    for (int i = 0; i < n; i++)
        json_object_array_add(array, json_object_new_int(words[i]));
    return array;
}
