// Network module: interfaces, default route, multicast and the IP-conflict
// test (network_interfaces.cpp); service ports and push messages
// (network_ports.cpp).
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/module.h"
#include "modules/network/network_records.h"

extern const WebModulePart network_interface_part;
extern const WebModulePart network_port_part;
// Time, PPPoE, DDNS, e-mail, SNMP (network_services.cpp), and the access
// filter that the system pages list with it.
extern const WebModulePart network_service_part;
extern const WebModulePart system_access_filter_part;
// HTTPS certificates and the HTTPS switch (network_https.cpp).
extern const WebModulePart network_https_part;
// The P2P cloud service and its registration test (network_p2p.cpp).
extern const WebModulePart network_p2p_part;

// The module's one response callback: every part's answers.
void on_network_ipc_callback(void* context, const int32_t* header, const char* payload);

// Tells the core service, without waiting, that settings changed: request
// 1702 with `what` in a 32-byte zero-padded text.
void network_notify_changed(const char* what);
// A port reserved for the PoE cameras, or one something listens on
// (network_ports.cpp).
bool is_poe_port(int port);
bool is_port_in_use(int port);
// An operation-log record of `main_type` (4 for operations).
void network_write_log(int main_type, int sub_type, int parameter);
