// Requests whose keys are plain integers, read into a record of int32 words.
#pragma once
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "core/json_util.h"

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
