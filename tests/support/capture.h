// What the process prints through the request context while one of these lives, for
// in-process tests of the reply routines.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/request.h"

struct Capture {
    char* buf = nullptr;
    size_t len = 0;
    FILE* saved = std::exchange(request_context().out, open_memstream(&buf, &len));
    ~Capture() { fclose(std::exchange(request_context().out, saved)), free(buf); }
    std::string text() { return fflush(request_context().out), std::string(buf, len); }
};
