// Download of a stretch of recording as an AVI file on standard output.
#pragma once
#include <cstdint>
#include <cstdio>

#include "platform/wire.h"
#include "platform/avilib.h"

enum {
    REQ_DOWNLOAD = 1173,              // download_request, answered by 6173 chunks
    REQ_DOWNLOAD_CLEAR = 1178,        // no payload, no answer
    DOWNLOAD_CHUNK_DATA = 614400,     // data bytes a chunk carries at most
    DOWNLOAD_CHUNK_END = -1,          // chunk length: the download is complete
    DOWNLOAD_CHUNK_INTERRUPTED = -2,  // chunk length: the core service stopped it
    DOWNLOAD_QUEUE_LIMIT = 10485760,  // queued frame bytes before the producer waits
    DOWNLOAD_MAX_FRAME = 10485760,    // largest frame taken
};

WIRE_BEGIN

// Request 1173. Times as "%d-%d-%d %d:%d:%d".
struct download_request {
    int32_t channel;
    int32_t stream_type;
    char start[32];
    char end[32];
};

// Head of response 6173; up to DOWNLOAD_CHUNK_DATA data bytes follow.
struct download_chunk_head {
    frame_desc desc;
    int32_t offset;  // of this chunk within the frame
    int32_t length;  // data bytes, or DOWNLOAD_CHUNK_END / _INTERRUPTED
};

struct download_chunk {
    download_chunk_head head;
    char data[DOWNLOAD_CHUNK_DATA];
};

WIRE_END
WIRE_SIZE(download_request, 72);
WIRE_OFFSET(download_request, channel, 0);
WIRE_OFFSET(download_request, stream_type, 4);
WIRE_OFFSET(download_request, start, 8);
WIRE_OFFSET(download_request, end, 40);
WIRE_SIZE(download_chunk_head, 96);
WIRE_OFFSET(download_chunk_head, desc, 0);
WIRE_OFFSET(download_chunk_head, offset, 88);
WIRE_OFFSET(download_chunk_head, length, 92);
WIRE_SIZE(download_chunk, 614496);
WIRE_OFFSET(download_chunk, data, 96);

// Writer operations: an AVI writer on a stream fed by the "remote_backup"
// thread from a bounded queue of complete frames.
int remote_backup_vxfs_open(FILE* fp, void** handle);
// One chunk of a frame; desc->data points at the chunk's bytes.
int remote_backup_vxfs_write(const frame_desc* desc, int offset, int length);
int remote_backup_vxfs_interrup();
int remote_backup_vxfs_close(void* handle);
int remote_backup_task_run_status();
// Unused by this program; kept for the platform interface.
int remote_backup_open(FILE* fp, void** handle);
int remote_backup_write(const frame_desc* desc, int offset, int length);
int remote_backup_close(void* handle);

// The writer of the current download: opens one on `out` (closing one left
// from an earlier download); 0 or -1. Close finishes the file.
int download_writer_open(FILE* out);
void download_writer_close();

// Counters of the current writer, for diagnostics and tests.
struct remote_backup_stats {
    int queued_frames;
    int queued_bytes;
    int written_frames;   // handed to the AVI writer
    int dropped_frames;   // complete frames that could not be queued
    int producer_waits;   // 40 ms waits of the producer on a full queue
    int download_done;
};
void remote_backup_get_stats(remote_backup_stats* stats);
