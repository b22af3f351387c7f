// Stand-in for the device's P2P client library. It has NO cryptography: the
// "key file" is a fixed handshake and every message crosses the link as plain
// bytes. What it keeps of the real library is the framing (a u32 LE length N,
// then the message zero-padded to N), the encrypted sizes, the bounded waits
// and the refusals, which is what the registration test relies on.
#pragma once

enum {
    P2P_CONNECT_TIMEOUT_MS = 5000,
    P2P_IO_TIMEOUT_MS = 10000,  // per p2p_send, p2p_recv or handshake
    P2P_ENCRYPT_BLOCK = 256,
};

// The registration server from NVRWEB_P2P_SERVER ("host:port"), or
// 127.0.0.1:9999; the host is cut to size - 1. False for a malformed value.
bool p2p_server_address(char* host, int size, int* port);

// A stream socket handle, or -1.
int socket_create(void);
// Resolves `host` and connects to its first IPv4 address within 5 s; then
// each read or write waits at most 10 s. 0, or -1.
int socket_connect(int sock, const char* host, int port);
void socket_destroy(int sock);

// Nothing to create without cryptography; kept so that callers follow the
// device's order of calls. 0.
int p2p_create_keyfile(void);
// The handshake: sends "P2PK" + u32 1 and expects "P2PK" + u32 0. 0, or -1.
int p2p_cli_switch_keyfile(int sock);
// The size that `n` plain bytes take on the link: n rounded up to a multiple
// of 256; -1 for n < 0 or past what an int holds.
int rsa_cal_ensize(int n);
// Sends `size` bytes framed in `work` (the length word and the padded
// message must fit in it). 0, or -1.
int p2p_send(int sock, const void* message, int size, char* work, int work_size);
// Receives one message of N bytes into `buffer`; N = 0 and N > cap are
// refused (nothing read past the length word). N, or -1.
int p2p_recv(int sock, void* buffer, int cap);

// The handshake's server side, for the registration server stand-in:
// expects "P2PK" + u32 1 and answers "P2PK" + u32 0. 0, or -1.
int p2p_srv_switch_keyfile(int sock);
