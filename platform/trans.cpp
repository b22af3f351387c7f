// Translation library stand-in: English built in, other languages from a
// small text file under the device root.
#include "platform/trans.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/devpath.h"

namespace {

// A language file is small; anything longer is cut.
enum { LANG_FILE_MAX = 64 * 1024, LANG_MAX_ENTRIES = 2048, LANG_NAME_MAX = 15 };

struct Loaded {
    char* text = nullptr;          // the file, lines NUL-terminated in place
    TransEntry* entries = nullptr;  // sorted by code
    int count = 0;
};

Loaded g_loaded;

const char* find(const TransEntry* table, int n, int code)
{
    int lo = 0, hi = n - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        if (table[mid].code == code)
            return table[mid].text;
        if (table[mid].code < code)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return nullptr;
}

int by_code(const void* a, const void* b)
{
    int x = ((const TransEntry*)a)->code, y = ((const TransEntry*)b)->code;
    return x < y ? -1 : x > y;
}

// "code=text" with a decimal code; '#' lines and others are skipped.
bool parse_line(char* line, TransEntry* out)
{
    char* eq = strchr(line, '=');
    if (!eq || eq == line)
        return false;
    *eq = '\0';
    char* end = nullptr;
    long code = strtol(line, &end, 10);
    if (*end || code < -1000000 || code > 1000000)
        return false;
    size_t len = strlen(eq + 1);
    if (len && eq[len] == '\r')
        eq[len] = '\0';
    out->code = (int)code;
    out->text = eq + 1;
    return true;
}

bool load(const char* language)
{
    char name[64];
    snprintf(name, sizeof name, "%s.txt", language);
    std::string path;
    FILE* f = path_in_directory("/www/lang", name, &path) ? fopen(path.c_str(), "rb") : nullptr;
    if (!f)
        return false;
    char* text = (char*)malloc(LANG_FILE_MAX + 1);
    TransEntry* entries = (TransEntry*)malloc(sizeof(TransEntry) * LANG_MAX_ENTRIES);
    size_t n = text ? fread(text, 1, LANG_FILE_MAX, f) : 0;
    fclose(f);
    if (!text || !entries) {
        free(text);
        free(entries);
        return false;
    }
    text[n] = '\0';
    int count = 0;
    for (char* line = text; line && *line && count < LANG_MAX_ENTRIES;) {
        char* next = strchr(line, '\n');
        if (next)
            *next++ = '\0';
        if (line[0] != '#' && parse_line(line, &entries[count]))
            count++;
        line = next;
    }
    qsort(entries, (size_t)count, sizeof *entries, by_code);
    g_loaded.text = text;
    g_loaded.entries = entries;
    g_loaded.count = count;
    return true;
}

}  // namespace

bool trans_language_is_valid(const char* language)
{
    if (!language)
        return false;
    size_t n = 0;
    for (; language[n]; n++) {
        char c = language[n];
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                  c == '-';
        if (!ok || n >= LANG_NAME_MAX)
            return false;
    }
    return n > 0;
}

int trans_init(const char* language)
{
    trans_deinit();
    // The name becomes part of a path: only plain names pick a file.
    if (!trans_language_is_valid(language))
        return -1;
    return load(language) ? 0 : -1;
}

int trans_get_value(int code, char* out, int size)
{
    if (!out || size <= 0)
        return -1;
    const char* text = g_loaded.count ? find(g_loaded.entries, g_loaded.count, code) : nullptr;
    if (!text) {
        int n = 0;
        const TransEntry* english = trans_english(&n);
        text = find(english, n, code);
    }
    if (!text) {
        snprintf(out, (size_t)size, "%d", code);
        return -1;
    }
    size_t len = strnlen(text, (size_t)size - 1);
    memcpy(out, text, len);
    out[len] = '\0';
    return 0;
}

int trans_deinit()
{
    free(g_loaded.text);
    free(g_loaded.entries);
    g_loaded = Loaded();
    return 0;
}

int log_channo_is_disk(int main_type, int sub_type)
{
    // Entries about a disk carry its number where others carry a channel.
    static const struct {
        int main_type;
        int sub_type;
    } kDiskEntries[] = {
        {4, 112}, {4, 128}, {4, 137}, {4, 207}, {4, 219}, {4, 220}, {4, 221}, {4, 222}, {4, 224},
        {8, 500}, {8, 501}, {8, 506}, {8, 513}, {8, 514}, {8, 515},
        {32, 400}, {32, 401}, {32, 410}, {32, 411},
    };
    for (const auto& e : kDiskEntries)
        if (e.main_type == main_type && e.sub_type == sub_type)
            return 1;
    return 0;
}
