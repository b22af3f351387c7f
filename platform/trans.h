// Translation library stand-in: texts of log main types (by index 1..6),
// sub types (10..603) and parameter types (900..) in one code space.
#pragma once

// Opens the texts of `language`. English is built in; another language is
// read from "/www/lang/<language>.txt" (lines "code=text") when the name
// matches [A-Za-z0-9_-]{1,15} and the file exists. Codes a file lacks fall
// back to English. 0 when a language file was loaded, -1 when English alone
// is in use.
int trans_init(const char* language);

// Text of `code` cut to size - 1. Unknown codes give the code as decimal
// text and -1; known ones 0.
int trans_get_value(int code, char* out, int size);

int trans_deinit();

// 1 when the channel number of an entry with this main and sub type is a
// disk number, else 0.
int log_channo_is_disk(int main_type, int sub_type);

struct TransEntry {
    int code;
    const char* text;
};
// The built-in English texts, sorted by code.
const TransEntry* trans_english(int* count);

// True when the text may name a language file.
bool trans_language_is_valid(const char* language);
