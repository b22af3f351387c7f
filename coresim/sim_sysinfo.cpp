// Simulated device information and general settings: the information
// record built from the database, the display notices, the language files
// the pages read, and the erase markers applied when the device restarts.
#include <cstdio>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "coresim/coresim.h"
#include "modules/alarm/alarm_records.h"
#include "modules/network/network_records.h"
#include "modules/system/system_records.h"
#include "platform/devpath.h"
#include "platform/vxdb.h"

namespace {

// "001E5A0A0B0C" as the page shows it: "00:1E:5A:0A:0B:0C".
void mac_text(char (&out)[SYSINFO_MAC_SIZE])
{
    char hex[64];
    read_mac_conf(VXDB_MAIN, hex, 32);
    if (strlen(hex) != 12) {
        wire_text(out, hex);
        return;
    }
    snprintf(out, sizeof out, "%.2s:%.2s:%.2s:%.2s:%.2s:%.2s", hex, hex + 2, hex + 4, hex + 6, hex + 8, hex + 10);
}

void param_text(char* out, int size, const char* key, const char* fallback)
{
    get_param_value(VXDB_MAIN, key, out, size, fallback);
}

void on_system_info(const SimRequest&, SimReply& reply)
{
    system_info info;
    memset(&info, 0, sizeof info);
    info.device_id = get_param_int(VXDB_MAIN, "deviceid", 255);
    info.max_cameras = get_param_int(VXDB_MAIN, "max_cameras", 32);
    info.max_sensor = NVR_ALARM_INPUTS;
    info.max_alarm = NVR_ALARM_OUTPUTS;
    info.max_audio_out = 1;
    info.display_num = 2;
    info.max_rs485 = 1;
    info.max_network_lan = 2;
    info.is_support_talk = 1;
    param_text(info.sn, sizeof info.sn, "serial", "");
    wire_text(info.prefix, "SIM");
    param_text(info.product, sizeof info.product, "model", "");
    param_text(info.software, sizeof info.software, "software_version", "");
    param_text(info.hwver, sizeof info.hwver, "hardware_version", "");
    mac_text(info.mac_address);
    reply.send(&info, sizeof info);
}

void on_sub_output(const SimRequest& request, SimReply&)
{
    if (request.length < 4)
        return;
    display_record display;
    if (read_display(VXDB_MAIN, &display) != 0)
        return;
    display.sub_enable = request.word();
    write_display(VXDB_MAIN, &display);
    sim_log("sub output %s", display.sub_enable ? "on" : "off");
}

void on_logged(const SimRequest& request, SimReply&)
{
    sim_log("general settings request %d (%d bytes, word %d)", request.code, request.length, request.word());
}

const SimEntry kSysinfo[] = {
    {REQ_SYSTEM_INFO, on_system_info, "device information from the database and the MAC"},
    {REQ_SUB_OUTPUT, on_sub_output, "switch the sub output: stored in the display record"},
    {REQ_DISPLAY_RESOLUTION, on_logged, "an output's resolution"},
    {REQ_DISPLAY_APPLY, on_logged, "apply the resolutions"},
    {REQ_AUDIO_OUTPUT, on_logged, "HDMI audio, audio output and volume"},
    {REQ_DEVICE_ID, on_logged, "device number changed"},
    {REQ_SET_LANGUAGE, on_logged, "language of the local interface"},
};

// A few real sections of the pages, so that the local device serves texts.
const char kEnglish[] =
    "{//login.json\n"
    "\"title\": \"Login\",\n"
    "\"username\": \"User name\",\n"
    "\"password\": \"Password\",\n"
    "\"login\": \"Login\"\n"
    "}//login.json\n"
    "{//system.json\n"
    "\"deviceName\": \"Device name\",\n"
    "\"deviceId\": \"Device number\",\n"
    "\"software\": \"Software version\",\n"
    "\"macAddress\": \"MAC address\",\n"
    "\"uptime\": \"Up time\"\n"
    "}//system.json\n"
    "{//system=general.json\n"
    "\"displayMode\": \"Display mode\",\n"
    "\"audioVolume\": \"Volume\",\n"
    "\"hostname\": \"Host name\"\n"
    "}//system=general.json\n";
const char kLanguages[] = "{\"languages\":[{\"id\":\"en\",\"name\":\"English\"}],\"default\":\"en\"}\n";

void write_if_missing(const std::string& path, const char* text)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        return;
    FILE* f = fopen(path.c_str(), "w");
    if (!f)
        return;
    fputs(text, f);
    fclose(f);
}

// Rows of the database kept by an erase: the unit's identity and firmware,
// and whatever the erase does not name.
void erase(sqlite3* db, const char* records_where, const char* params_where)
{
    std::string sql = "DELETE FROM records WHERE " + std::string(records_where) + ";";
    if (params_where)
        sql += "DELETE FROM params WHERE " + std::string(params_where) + ";";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

bool take_marker(const char* device_file)
{
    return unlink(device_path(device_file).c_str()) == 0;
}

}  // namespace

const SimEntry* sim_sysinfo_table(int* count)
{
    *count = (int)(sizeof kSysinfo / sizeof kSysinfo[0]);
    return kSysinfo;
}

void sim_sysinfo_seed()
{
    const std::string dir = device_path("/opt/app/www/webfile/json");
    for (size_t i = 1; i <= dir.size(); i++)
        if (i == dir.size() || dir[i] == '/')
            mkdir(dir.substr(0, i).c_str(), 0755);
    write_if_missing(dir + "/en.json", kEnglish);
    write_if_missing(dir + "/languages.json", kLanguages);
}

// The markers the OEM clean-up leaves: addresses, users or every setting go
// back to the factory's, and each marker is gone once applied.
void sim_sysinfo_restart()
{
    const bool all = take_marker("/mnt/nand/app/eraseall");
    const bool ip = take_marker("/mnt/nand/app/eraseip");
    const bool users = take_marker("/mnt/nand/app/eraseuser");
    if (!all && !ip && !users)
        return;
    sqlite3* db = nullptr;
    if (sqlite3_open(device_path(VXDB_MAIN).c_str(), &db) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 10000);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (all)
            erase(db, "1", "key NOT IN ('software_version','hardware_version','model','serial')");
        if (ip)
            erase(db, "kind IN ('network','port')", nullptr);
        if (users)
            erase(db, "kind IN ('user','oem_user')", nullptr);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    if (all)
        sim_seed_defaults();
    else
        sim_seed_erased(ip, users);
    sim_log("erase markers applied:%s%s%s", all ? " all" : "", ip ? " addresses" : "", users ? " users" : "");
}
