// Request JSON: the parser, the typed getters, a field table with a row of
// every type (checked and not), and the channel lists. Checks what the field
// tables promise: a stored text is NUL-terminated within its field, and a
// record that passed its check holds values inside the checked ranges.
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/channels.h"
#include "core/json_util.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Record {
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    int16_t i16;
    uint16_t u16;
    int8_t i8;
    uint8_t u8;
    float f32;
    char text[8];
    char name[33];
    int32_t checked_i32;
    uint8_t checked_u8;
    int64_t checked_i64;
};

const JsonField kFields[] = {
    JSON_FIELD(Record, i32, "i32", I32),
    JSON_FIELD(Record, u32, "u32", U32),
    JSON_FIELD(Record, i64, "i64", I64),
    JSON_FIELD(Record, u64, "u64", U64),
    JSON_FIELD(Record, i16, "i16", I16),
    JSON_FIELD(Record, u16, "u16", U16),
    JSON_FIELD(Record, i8, "i8", I8),
    JSON_FIELD(Record, u8, "u8", U8),
    JSON_FIELD(Record, f32, "f32", F32),
    JSON_FIELD(Record, text, "text", TEXT),
    JSON_FIELD_CHECKED(Record, name, "name", TEXT, false, 0, 0),
    JSON_FIELD_CHECKED(Record, checked_i32, "ci32", I32, true, -5, 100000),
    JSON_FIELD_CHECKED(Record, checked_u8, "cu8", U8, false, 0, 255),
    JSON_FIELD_CHECKED(Record, checked_i64, "ci64", I64, false, INT64_MIN + 1, INT64_MAX),
    JSON_CHECK("only", false, 1, 7),
};

bool has_nul(const char* field, size_t size)
{
    return memchr(field, 0, size) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text((const char*)data, size);

    int decimal = 0;
    parse_decimal(text.c_str(), &decimal);
    json_object_put(json_new_text(text.data(), text.size()));
    char section[64];
    get_section_info(text.c_str(), "param:", section, (int)sizeof section);

    JsonPtr object(get_request_tokener_json_object(text.c_str()));
    if (!object)
        return 0;

    Record record;
    memset(&record, 0xA5, sizeof record);
    json_to_record(object.get(), &record, kFields);
    // Every text the table touched ends within its field.
    json_object* item = nullptr;
    if (json_object_object_get_ex(object.get(), "text", &item) && json_object_is_type(item, json_type_string))
        fuzz_require(has_nul(record.text, sizeof record.text), "a stored text is NUL-terminated");
    if (json_object_object_get_ex(object.get(), "name", &item) && json_object_is_type(item, json_type_string))
        fuzz_require(has_nul(record.name, sizeof record.name), "a stored text is NUL-terminated");

    Record checked;
    memset(&checked, 0, sizeof checked);
    if (json_read_record(object.get(), &checked, kFields)) {
        fuzz_require(checked.checked_i32 >= -5 && checked.checked_i32 <= 100000, "a checked value is in range");
        fuzz_require(json_check(object.get(), kFields), "a record read passes its check");
        int64_t only = 0;
        if (json_get_int64(object.get(), "only", &only))
            fuzz_require(only >= 1 && only <= 7, "a check-only key is in range");
    }
    JsonPtr printed(json_object_new_object());
    json_from_record(printed.get(), &record, kFields);
    json_object_to_json_string(printed.get());

    // The typed getters over every key and the first array elements.
    if (!json_object_is_type(object.get(), json_type_object))
        return 0;
    json_object_object_foreach(object.get(), key, value)
    {
        int64_t i64 = 0;
        int i = 0;
        const char* s = nullptr;
        json_as_int64(value, &i64);
        json_get_int(object.get(), key, &i);
        json_get_text(object.get(), key, &s);
        const size_t n = json_array_size(value);
        for (size_t k = 0; k < n && k < 8; k++)
            json_as_int64(json_array_at(value, k), &i64);
        fuzz_require(json_array_at(value, n) == nullptr, "nothing past an array's end");
    }

    const ChannelList list = channel_list_by_json(object.get(), "chnid", "cnt");
    fuzz_require(list.count >= 0 && list.count <= CHANNEL_COUNT, "a channel list fits its array");
    uint64_t mask = 0;
    for (int k = 0; k < list.count; k++) {
        fuzz_require(list.channels[k] < CHANNEL_COUNT, "a listed channel is 0..63");
        fuzz_require(!(mask & (1ULL << list.channels[k])), "a channel is listed once");
        mask |= 1ULL << list.channels[k];
    }
    fuzz_require(mask == list.mask, "the mask is the list's");
    return 0;
}
