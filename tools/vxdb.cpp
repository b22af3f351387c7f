// vxdb: look into and change the configuration database under NVRWEB_ROOT.
//   vxdb get KEY | vxdb set KEY VALUE | vxdb dump [FILE]
#include <cstdio>
#include <cstring>

#include "platform/vxdb.h"

static void print_param(const char* key, const char* value, void*)
{
    printf("param %s = %s\n", key, value);
}

static void print_record(const char* kind, int idx, int size, void*)
{
    printf("record %s[%d] %d bytes\n", kind, idx, size);
}

static int usage()
{
    fprintf(stderr, "usage: vxdb get KEY | vxdb set KEY VALUE | vxdb dump [DEVICE_DB_PATH]\n");
    return 2;
}

int main(int argc, char** argv)
{
    if (argc >= 3 && strcmp(argv[1], "get") == 0) {
        if (check_param_key(VXDB_MAIN, argv[2])) {
            fprintf(stderr, "vxdb: no parameter %s\n", argv[2]);
            return 1;
        }
        char value[4096];
        get_param_value(VXDB_MAIN, argv[2], value, sizeof value, "");
        printf("%s\n", value);
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "set") == 0)
        return set_param_value(VXDB_MAIN, argv[2], argv[3]) == 0 ? 0 : 1;
    if (argc >= 2 && strcmp(argv[1], "dump") == 0)
        return vxdb_dump(argc >= 3 ? argv[2] : VXDB_MAIN, print_param, print_record, nullptr) == 0 ? 0 : 1;
    return usage();
}
