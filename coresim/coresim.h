// coresim: the stand-in core service of the local device and the end-to-end
// tests. One file per module answers that module's requests from a simulated
// device state; the server routes each request by its code.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One request as it came from a client.
struct SimRequest {
    int code;
    int seq;
    const char* payload;
    int length;

    // The payload as a record, or false when it is shorter than the record.
    template <typename T>
    bool as(T* out) const
    {
        if (length < (int)sizeof(T))
            return false;
        __builtin_memcpy(out, payload, sizeof(T));
        return true;
    }
    int32_t word(int index = 0) const;  // 0 when the payload is too short
};

// Answers go to the connection the request came on. They are kept until the
// handler returns and written then, so that no handler writes to a client
// while it holds a lock: a client that reads nothing stalls only its own
// connection, which is dropped after the send timeout.
class SimReply {
public:
    SimReply(int fd, const SimRequest& request) : fd_(fd), request_(request) {}
    // Answers with code request + 5000.
    bool send(const void* payload, size_t size);
    bool send_word(int32_t word);
    // Answers with another code.
    bool send_code(int code, const void* payload, size_t size);
    // Writes at once, after what was kept: for a handler that streams and
    // holds no lock. False when the client is gone or stalled.
    bool stream(const void* payload, size_t size);
    // Writes what was kept; false when the client is gone or stalled.
    bool flush();

private:
    int fd_;
    const SimRequest& request_;
    std::vector<char> kept_;
    bool broken_ = false;
};

typedef void (*SimHandler)(const SimRequest& request, SimReply& reply);

struct SimEntry {
    int code;
    SimHandler handler;
    const char* help;
};

// Each module file gives its table; the server lists them.
const SimEntry* sim_storage_table(int* count);
const SimEntry* sim_log_table(int* count);
const SimEntry* sim_system_table(int* count);
const SimEntry* sim_playback_table(int* count);
const SimEntry* sim_download_table(int* count);
const SimEntry* sim_video_table(int* count);
const SimEntry* sim_osd_table(int* count);
const SimEntry* sim_anpr_table(int* count);
// Default snapshot settings into a new database.
void sim_anpr_seed();
const SimEntry* sim_ptz_table(int* count);
const SimEntry* sim_record_table(int* count);
const SimEntry* sim_network_table(int* count);
const SimEntry* sim_maintenance_table(int* count);
const SimEntry* sim_audio_table(int* count);
const SimEntry* sim_aging_table(int* count);
const SimEntry* sim_alarm_table(int* count);
const SimEntry* sim_netsvc_table(int* count);
const SimEntry* sim_sysinfo_table(int* count);
const SimEntry* sim_ipc_table(int* count);
const SimEntry* sim_ipc_events_table(int* count);
const SimEntry* sim_ipc_params_table(int* count);
const SimEntry* sim_ipc_detect_table(int* count);
const SimEntry* sim_ipc_schedules_table(int* count);
const SimEntry* sim_state_table(int* count);
const SimEntry* sim_smart_table(int* count);
const SimEntry* sim_upgrade_table(int* count);
const SimEntry* sim_https_table(int* count);
const SimEntry* sim_p2p_table(int* count);
// Bit n: NVR alarm output n switched on by hand (1409).
uint32_t sim_alarm_output_states();

// A stretch the simulated recorder records: [start, end), a record type.
struct SimRecording {
    int64_t start;
    int64_t end;
    int type;
};
// What a channel records within [from, to) (one local hour) under its
// recording settings; `seed` places the hour's event, if it has one.
void sim_record_plan(int channel, int64_t from, int64_t to, uint32_t seed, std::vector<SimRecording>* out);

// Lines of coresim's own log (stderr).
void sim_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Runs the server until SIGTERM/SIGINT; returns the exit code.
int sim_serve();
// Stops a running server (signal-safe).
void sim_stop();

// Creates a device root with its directories and a database of defaults.
int sim_seed(const std::string& root);
// The default parameters, and the default records when the database has
// none (a running server uses it for a factory restore).
void sim_seed_defaults();
// The factory network and/or users again, after an erase marker.
void sim_seed_erased(bool network, bool users);
// The pages' language files; the erase markers, applied at a restart.
void sim_sysinfo_seed();
void sim_sysinfo_restart();

// Module start-up after the seed (state read from the database).
void sim_storage_start();
// Writes the simulated interfaces of a root that has none yet.
void sim_network_seed();
// A 1702 notice of a network service ("pppoe", "ddns", "mail", "snmp"),
// called under the netsim lock; false when `what` names none. The seed
// writes the services' settings into a new database.
bool sim_netsvc_changed(const char* what);
void sim_netsvc_seed();
// The P2P settings record of a new database.
void sim_p2p_seed();
// The liveness file while the server runs.
void sim_maintenance_start();
void sim_maintenance_stop();
void sim_ptz_start();
// 3226, owned by the PTZ table: stores a camera's web parameter.
void sim_ipc_param_set(const SimRequest& request, SimReply& reply);
// A camera is bound to the channel: its requests get answers.
bool sim_ipc_channel_bound(int channel);
// The camera protocols and models of a new database.
void sim_ipc_seed();
// The recorder's OSD of each camera, named "CH1" on, into a new database.
void sim_osd_seed();

// Size and free space of the simulated disks, in MiB.
void sim_storage_usage(int64_t* total, int64_t* free);
// Seconds a simulated format takes (CORESIM_FORMAT_SECONDS, default 5).
double sim_format_seconds();

// A request code that two module tables answer (only the first would ever
// be reached), or 0.
int sim_duplicate_code();
// Applies the SSH switch of the port record (the settings notice "more").
void sim_aging_ssh_changed();

// A count from a request or a record cut to [0, most], so that a loop over
// the record's array never walks past it.
inline int sim_count(int64_t count, int most)
{
    return count < 0 ? 0 : count > most ? most : (int)count;
}
