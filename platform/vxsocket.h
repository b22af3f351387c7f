// Message socket to the core service (stand-in for the device's socket
// library). Every message: a 32-byte header of eight little-endian int32
// words, then the payload.
#pragma once
#include <cstdint>

#include "platform/wire.h"

enum {
    VX_MSG_MAGIC = 0x4B535856,
    VX_MSG_REQUEST = 1,
    VX_MSG_RESPONSE = 2,
    VX_MSG_MAX_PAYLOAD = 8 * 1024 * 1024,
};

WIRE_BEGIN
struct vx_msg_header {
    int32_t magic;
    int32_t kind;     // request or response
    int32_t seq;      // the client counts from 1; a response repeats it
    int32_t code;
    int32_t zero;
    int32_t length;   // payload bytes
    int32_t reserved[2];
};
WIRE_END
WIRE_SIZE(vx_msg_header, 32);
WIRE_OFFSET(vx_msg_header, code, 12);
WIRE_OFFSET(vx_msg_header, length, 20);

// Header word indexes that callbacks read.
enum { VX_HDR_CODE = 3, VX_HDR_LENGTH = 5 };

// Called on the delivery thread with (context, header words, payload): the
// context given to vx_sock_init. The payload is never null, also for an
// empty answer. A callback must not send:
// uninit and a failed send join the delivery thread while holding the link.
typedef void (*vx_sock_callback)(void* unused, const int32_t* header, const char* payload);

int vx_sock_init(vx_sock_callback callback, int unused, int kind, const char* path, void* context = nullptr);
// Returns 0 when the request went out whole, non-zero when it must be tried again.
int vx_sock_send_msg(int kind, int code, const void* payload, int length, int64_t unused);
int vx_sock_uninit();

// Shared framing for every peer (the CGI, coresim, test peers).
// Reads exactly n bytes; false on end of stream or error.
bool vx_read_full(int fd, void* buf, size_t n);
bool vx_write_full(int fd, const void* buf, size_t n);
// Reads one message; false on end of stream, error, wrong magic or a payload
// above the limit (the caller then closes the connection).
bool vx_read_msg(int fd, vx_msg_header* header, char** payload, size_t* capacity);
bool vx_write_msg(int fd, int kind, int seq, int code, const void* payload, int length);
// Connects to the Unix socket at a (mapped) path; -1 on failure.
int vx_connect_unix(const char* path);
// Listens on the Unix socket at a (mapped) path, replacing a stale one.
int vx_listen_unix(const char* path);
