// The HTTPS certificate records in the configuration database: the
// installed certificate and the certificate request.
#include "modules/network/network_records.h"
#include "platform/vxdb.h"

namespace {
// Rows 0 (certificate) and 2 (request); row 1 is never used.
const vxdb_kind kSslParams = {"ssl_params", (int)sizeof(ssl_params), 3};

bool known_kind(int kind)
{
    return kind == SSL_PARAMS_CERT || kind == SSL_PARAMS_REQUEST;
}
}  // namespace

int read_ssl_params(const char* db, int kind, ssl_params* out)
{
    if (!known_kind(kind) || !out)
        return -1;
    return vxdb_read(db, kSslParams, kind, out) < 0 ? -1 : 0;
}

int write_ssl_params(const char* db, int kind, const ssl_params* record)
{
    if (!known_kind(kind) || !record)
        return -1;
    return vxdb_write(db, kSslParams, kind, record, (int)sizeof *record);
}
