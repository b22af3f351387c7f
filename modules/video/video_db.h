// The step the module's database files (video_db.cpp, smart_db.cpp,
// anpr_db.cpp) share: a read-modify-write through a change of the record's
// own type, where vxdb_update hands the change untyped bytes.
#pragma once
#include "platform/vxdb.h"

template <typename Record>
struct VideoRecordChange {
    bool (*change)(Record*, void*);
    void* context;
};

template <typename Record>
bool apply_video_record_change(void* record, void* context)
{
    VideoRecordChange<Record>* c = (VideoRecordChange<Record>*)context;
    return c->change((Record*)record, c->context);
}

// vxdb_update of record `idx` of the kind: 0 written, 1 refused, -1 failure.
template <typename Record>
int video_update_record(const char* db, const vxdb_kind& kind, int idx, bool (*change)(Record*, void*),
                        void* context)
{
    VideoRecordChange<Record> c = {change, context};
    return vxdb_update(db, kind, idx, apply_video_record_change<Record>, &c);
}
