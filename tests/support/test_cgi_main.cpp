// Test entry: the shipped modules plus resources that exist in tests only.
#include <cstdlib>

#include "frontend/cgi_env.h"
#include "frontend/dispatchreq.h"
#include "frontend/modules.h"
#include "frontend/multipart.h"
#include "tests/support/test_resources.h"

int main()
{
    // A small upload limit, so that tests need no 512 MiB body.
    if (const char* limit = getenv("NVRWEB_TEST_UPLOAD_MAX"))
        cgiUploadMaxBytes = atoll(limit);
    // Overrides first: with a duplicate path the lower slot wins.
    int override_count = 0;
    const WebResEntry* overrides = test_echo_overrides(&override_count);
    if (override_count > 0)
        WebResRegister(overrides, override_count);
    register_web_modules();
    int count = 0;
    const WebResEntry* table = test_web_resources(&count);
    WebResRegister(table, count);
    int rc = cgi_main();
    WebResUnregister(table, count);
    unregister_web_modules();
    if (override_count > 0)
        WebResUnregister(overrides, override_count);
    return rc;
}
