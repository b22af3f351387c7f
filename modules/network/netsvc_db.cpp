// Network-service records in the configuration database: time, PPPoE,
// DDNS, e-mail, SNMP and the access filter.
#include <cstring>

#include "modules/network/network_records.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kTime = {"time", (int)sizeof(time_record), 1};
const vxdb_kind kPppoe = {"pppoe", (int)sizeof(pppoe_record), 1};
const vxdb_kind kDdns = {"ddns", (int)sizeof(ddns_record), 1};
const vxdb_kind kEmail = {"email", (int)sizeof(email_record), 1};
const vxdb_kind kSnmp = {"snmp", (int)sizeof(snmp_record), 1};
const vxdb_kind kAccessFilter = {"access_filter", (int)sizeof(access_filter_entry), ACCESS_FILTER_MAX};

template <typename T>
int read_one(const char* db, const vxdb_kind& kind, T* out)
{
    return vxdb_read(db, kind, 0, out) < 0 ? -1 : 0;
}

template <typename T>
int write_one(const char* db, const vxdb_kind& kind, const T* record)
{
    return vxdb_write(db, kind, 0, record, (int)sizeof *record);
}
}  // namespace

int read_time(const char* db, time_record* out) { return read_one(db, kTime, out); }
int write_time(const char* db, const time_record* record) { return write_one(db, kTime, record); }
int read_pppoe(const char* db, pppoe_record* out) { return read_one(db, kPppoe, out); }
int write_pppoe(const char* db, const pppoe_record* record) { return write_one(db, kPppoe, record); }
int read_ddns(const char* db, ddns_record* out) { return read_one(db, kDdns, out); }
int write_ddns(const char* db, const ddns_record* record) { return write_one(db, kDdns, record); }
int read_email(const char* db, email_record* out) { return read_one(db, kEmail, out); }
int write_email(const char* db, const email_record* record) { return write_one(db, kEmail, record); }
int read_snmp(const char* db, snmp_record* out) { return read_one(db, kSnmp, out); }
int write_snmp(const char* db, const snmp_record* record) { return write_one(db, kSnmp, record); }

int update_email(const char* db, bool (*change)(void*, void*), void* context)
{
    return vxdb_update(db, kEmail, 0, change, context);
}

int read_access_filter(const char* db, access_filter_entry* out, int capacity, int* count)
{
    if (count)
        *count = 0;
    if (!out || !count || capacity < 0)
        return -1;
    // Rows are 0 .. n-1 (a write replaces them all), so the stored count is n.
    access_filter_entry table[ACCESS_FILTER_MAX];
    const int found = vxdb_read_table(db, kAccessFilter, table, ACCESS_FILTER_MAX);
    if (found < 0)
        return -1;
    int n = found < capacity ? found : capacity;
    memcpy(out, table, sizeof table[0] * (size_t)n);
    *count = n;
    return 0;
}

int write_access_filter(const char* db, const access_filter_entry* list, int count)
{
    count = count < 0 ? 0 : count > ACCESS_FILTER_MAX ? ACCESS_FILTER_MAX : count;
    return vxdb_replace_table(db, kAccessFilter, list, count, (int)sizeof *list);
}
