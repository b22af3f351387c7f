// Aging test module: the requests it sends and the SSH switch of the port
// record, shared by the CGI and coresim.
#pragma once
#include <cstdint>

#include "platform/wire.h"

// Core-service requests; all are sent without waiting.
enum {
    REQ_CAMERA_CONNECT = 1201,
    REQ_CAMERA_DISCONNECT = 1202,
    REQ_SSH_CHANGED = 1702,
};

enum {
    // The port record belongs to the network settings; the aging test only
    // switches its first word, the SSH service, and keeps the other bytes.
    PORT_RECORD_SIZE = 288,
    SSH_NOTICE_SIZE = 32,
};

WIRE_BEGIN

// Payload of 1702: the text "more", zero-filled.
struct ssh_notice {
    char text[SSH_NOTICE_SIZE];
};

WIRE_END

WIRE_SIZE(ssh_notice, 32);

// The SSH switch of the port record: 0 read (a missing record reads 0), -1
// failure.
int read_port_ssh_enable(const char* db, int32_t* out);
// Sets it in one read-modify-write; 0 written, -1 failure.
int write_port_ssh_enable(const char* db, int32_t value);
