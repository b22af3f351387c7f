// nvrweb.cgi: one process per browser request.
#include "frontend/cgi_env.h"
#include "frontend/modules.h"

int main()
{
    register_web_modules();
    int rc = cgi_main();
    unregister_web_modules();
    return rc;
}
