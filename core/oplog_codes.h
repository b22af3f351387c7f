// Operation-log codes: what the device log shows for a change made through
// the web. Sub types are the remote operations (main type 4); parameter
// types name the setting; detail kinds say how the detail block is read.
#pragma once

enum OperationLogSubType {
    LOG_SUB_REMOTE_REBOOT = 200,
    LOG_SUB_REMOTE_LOGIN = 201,
    LOG_SUB_REMOTE_LOGOUT = 202,
    LOG_SUB_REMOTE_UPGRADE = 203,
    LOG_SUB_REMOTE_PARAMETER = 204,
    LOG_SUB_REMOTE_CHANNEL_ACTION = 205,
    LOG_SUB_REMOTE_PTZ = 206,
    LOG_SUB_REMOTE_FORMAT = 207,
    LOG_SUB_REMOTE_LIVE_VIEW = 208,
    LOG_SUB_REMOTE_PLAYBACK = 209,
    LOG_SUB_REMOTE_CAMERA_CHANGE = 210,
    LOG_SUB_REMOTE_CAMERA_DELETE = 211,
    LOG_SUB_REMOTE_ALARM_OUTPUT = 212,
    LOG_SUB_REMOTE_CONFIG_EXPORT = 213,
    LOG_SUB_REMOTE_CONFIG_IMPORT = 214,
    LOG_SUB_REMOTE_RESTORE = 215,
    LOG_SUB_REMOTE_SHUTDOWN = 216,
    LOG_SUB_REMOTE_IMAGE = 217,
    LOG_SUB_REMOTE_CHANNEL_ACTION_ALT = 218,
    LOG_SUB_REMOTE_NAS_ADD = 219,
    LOG_SUB_REMOTE_NAS_DELETE = 220,
    LOG_SUB_REMOTE_NAS_CHANGE = 221,
    LOG_SUB_REMOTE_RAID = 222,
    LOG_SUB_REMOTE_ALARM_CLEAR = 223,
    LOG_SUB_REMOTE_DISK_DELETE = 224,
    LOG_SUB_REMOTE_TIME = 225,
};

enum OperationLogParameter {
    LOG_PARAM_NONE = 900,  // the object alone says what changed (a channel, a port)
    LOG_PARAM_CAMERA = 901,
    LOG_PARAM_PTZ = 904,
    LOG_PARAM_RECORD_MODE = 905,
    LOG_PARAM_RECORD = 906,
    LOG_PARAM_RECORD_SCHEDULE = 907,
    LOG_PARAM_VIDEO_EVENT = 909,
    LOG_PARAM_ALARM_INPUT = 910,
    LOG_PARAM_ALARM_OUTPUT = 911,
    LOG_PARAM_GENERAL = 913,
    LOG_PARAM_NETWORK = 914,
    LOG_PARAM_PPPOE = 915,
    LOG_PARAM_DDNS = 916,
    LOG_PARAM_EMAIL = 917,
    LOG_PARAM_PORTS = 918,
    LOG_PARAM_DISK = 919,
    LOG_PARAM_HOLIDAY = 920,
    LOG_PARAM_USER_ADD = 921,
    LOG_PARAM_USER_DELETE = 922,
    LOG_PARAM_CAMERA_ALARM_IO = 923,
    LOG_PARAM_VOLUME = 924,
    LOG_PARAM_AUDIO_FILE = 925,
    LOG_PARAM_LOGIN_LOCKED = 930,  // ours: logins of a name or address locked
};

// How the detail block of a record is laid out.
enum OperationLogDetail {
    LOG_DETAIL_NAS = 101,     // protocol, address, directory
    LOG_DETAIL_FORMAT = 102,  // port and outcome
    LOG_DETAIL_IMAGE = 107,   // image values scaled to 0..100
    LOG_DETAIL_NAS_CHANGE = 110,
    LOG_DETAIL_CAMERA = 111,  // address, port, channel, protocol, transport, time sync
};
