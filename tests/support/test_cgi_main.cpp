// Test entry: the shipped modules plus resources that exist in tests only.
#include "frontend/cgi_env.h"
#include "frontend/dispatchreq.h"
#include "frontend/modules.h"
#include "tests/support/test_resources.h"

int main()
{
    register_web_modules();
    int count = 0;
    const WebResEntry* table = test_web_resources(&count);
    WebResRegister(table, count);
    int rc = cgi_main();
    WebResUnregister(table, count);
    unregister_web_modules();
    return rc;
}
