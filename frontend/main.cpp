// nvrweb.cgi: one process per browser request.
#include <cstdlib>
#include <cstring>

#include "frontend/cgi_env.h"
#include "frontend/listing.h"
#include "frontend/modules.h"

int main(int argc, char** argv)
{
    // From a shell only: a web server always sets the request method.
    if (argc > 1 && strcmp(argv[1], "--list") == 0 && !getenv("REQUEST_METHOD")) {
        print_resource_list(stdout, argc > 2 && strcmp(argv[2], "--json") == 0);
        return 0;
    }
    register_web_modules();
    int rc = cgi_main();
    unregister_web_modules();
    return rc;
}
