// coresim [--seed ROOT] [--root ROOT]: the stand-in core service.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "coresim/coresim.h"

static int usage()
{
    fprintf(stderr,
            "usage: coresim [--root ROOT]      serve the device under ROOT (or NVRWEB_ROOT)\n"
            "       coresim --seed ROOT        create a device root with default settings\n");
    return 2;
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            return sim_seed(argv[i + 1]) == 0 ? 0 : 1;
        if (strcmp(argv[i], "--root") == 0 && i + 1 < argc)
            setenv("NVRWEB_ROOT", argv[++i], 1);
        else
            return usage();
    }
    return sim_serve();
}
