// Storage module: disks, RAID and formatting (storage_disks.cpp); network
// disks, quotas, groups, overwrite mode and eSATA backup (storage_nas.cpp).
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/module.h"
#include "modules/storage/storage_records.h"

struct json_object;

extern const WebModulePart storage_disk_part;
extern const WebModulePart storage_nas_part;

// The module's one response callback: every part's answers.
void on_storage_ipc_callback(void* context, const int32_t* header, const char* payload);

// Sends one int32 and waits; `silence` as cgi_ask.
HandlerStatus storage_ask_port(int code, int32_t port, HandlerStatus silence, void* context = nullptr);
HandlerStatus storage_ask_empty(int code, HandlerStatus silence);
// Asks for the removal of the RAID array `id`; silence is a text error.
HandlerStatus storage_remove_raid(int32_t id);
// {key: first word} as JSON.
void storage_reply_word(const char* key, const IpcAnswer& answer);
// "Error" for a nonzero first word, else "OK".
void storage_reply_result_word(const IpcAnswer& answer);
// "channel", "disk", "max_chan" and "group_enable": the storage groups as
// stored, which the quota answer and the status page both show.
void storage_add_groups(json_object* reply);
