// Records that cross the core-service socket or land in the database are
// packed little-endian structs; the host must be little-endian too.
#pragma once
#include <cstddef>
#include <cstdint>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "wire records are little-endian");

#define WIRE_BEGIN _Pragma("pack(push, 1)")
#define WIRE_END _Pragma("pack(pop)")

// Asserts a field's offset inside a wire record.
#define WIRE_OFFSET(type, field, off) \
    static_assert(offsetof(type, field) == (off), #type "." #field " offset")
#define WIRE_SIZE(type, size) static_assert(sizeof(type) == (size), #type " size")

// Copies text into a fixed field, cut to the field and always NUL-terminated.
template <size_t N>
inline void wire_text(char (&field)[N], const char* text)
{
    size_t i = 0;
    if (text)
        for (; i + 1 < N && text[i]; i++)
            field[i] = text[i];
    field[i] = '\0';
    for (size_t j = i + 1; j < N; j++)
        field[j] = '\0';
}

// Copies at most `cut` characters of text into a fixed field (cut < N).
template <size_t N>
inline void wire_text(char (&field)[N], const char* text, size_t cut)
{
    size_t i = 0;
    if (text)
        for (; i < cut && i + 1 < N && text[i]; i++)
            field[i] = text[i];
    for (size_t j = i; j < N; j++)
        field[j] = '\0';
}

// Length of a fixed text field that may lack its NUL.
template <size_t N>
inline size_t wire_strlen(const char (&field)[N])
{
    size_t i = 0;
    while (i < N && field[i])
        i++;
    return i;
}
