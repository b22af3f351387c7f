// System module, audio files: the file record and the requests, shared by
// the CGI and coresim.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/module.h"
#include "platform/wire.h"

extern const WebModulePart system_audio_part;

// Core-service requests of the audio part; each is answered by code + 5000.
enum {
    REQ_AUDIO_FILE_LIST = 4012,
    REQ_AUDIO_FILE_ADD = 4013,
    REQ_AUDIO_FILE_DELETE = 4014,
    REQ_AUDIO_FILE_RENAME = 4015,
    REQ_AUDIO_FILE_SEND_ID = 4016,
};

enum {
    AUDIO_FILE_SLOTS = 10,      // file ids 0..9, one mask bit each
    AUDIO_FILE_NAME_SIZE = 128, // the encoded name with its NUL
    // Bytes of a name before encoding: 95 encode to 127 characters.
    AUDIO_FILE_NAME_BYTES = 95,
};

// Results of request 4013.
enum {
    AUDIO_ADD_OK = 0,
    AUDIO_ADD_NO_FILE = -1,  // missing, or not a WAV file
    AUDIO_ADD_FULL = -2,
};

WIRE_BEGIN

// One slot of the answer to 4012 and the payload of 4015.
struct audio_file_record {
    int32_t id;
    int32_t enable;  // 1: the slot holds a file
    char name[AUDIO_FILE_NAME_SIZE];  // base64url
};

// Payload of 4013: the encoded name of the file waiting in "/tmp".
struct audio_file_add {
    char name[AUDIO_FILE_NAME_SIZE];
};

WIRE_END

WIRE_SIZE(audio_file_record, 136);
WIRE_OFFSET(audio_file_record, enable, 4);
WIRE_OFFSET(audio_file_record, name, 8);
WIRE_SIZE(audio_file_add, 128);
