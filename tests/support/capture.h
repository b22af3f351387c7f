// What the process prints through cgiOut while one of these lives, for
// in-process tests of the reply routines.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "frontend/cgi_env.h"

struct Capture {
    char* buf = nullptr;
    size_t len = 0;
    FILE* saved = std::exchange(cgiOut, open_memstream(&buf, &len));
    ~Capture() { fclose(std::exchange(cgiOut, saved)), free(buf); }
    std::string text() { return fflush(cgiOut), std::string(buf, len); }
};
