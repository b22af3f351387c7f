// Steps the two smart-event parts share: the detection settings and action
// sets (video_smart.cpp) and the newer cameras' analytics, fisheye and
// regional people counting (video_smart_camera.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <json-c/json.h>
#include <string>

#include "core/json_util.h"
#include "core/reply.h"
#include "modules/video/video.h"

// A line or box: x1, y1, x2, y2.
struct VcaBox {
    int32_t v[4];
};

// The picture size a request names, 1920 x 1080 unless it says otherwise.
void vca_request_size(json_object* body, int* width, int* height);
// Its "position" text "x1;y1;x2;y2" (at most 31 characters; missing numbers 0).
VcaBox vca_request_position(json_object* body);
// Browser's 460 x 260 frame to the camera's picture, rounded to nearest in
// 64 bits; a line's coordinates below 1 become 1.
VcaBox vca_to_camera(const VcaBox& box, int width, int height, bool line);
// The camera's coordinates in the browser's frame as "%d;%d;%d;%d"; all 0
// for a width or height of 0.
std::string vca_position_text(const VcaBox& camera, int width, int height);

// A detection read: the channel under `key` (0..63, else error 1), the
// answer printed by its row with `reply` as the request context.
HandlerStatus vca_get_detection(const char* request, const char* key, int code, const void* reply = nullptr);
// A detection write: send and wait; "OK"/"FAILED" from the answer, error 0
// when none came.
HandlerStatus vca_send_setting(int code, const void* payload, int size);
// The answer printer of the detection writes: "OK" for a first word of 0.
void on_vca_set_cb(IpcAnswer& answer);

// Stores the "dialog" of a detection write for `event` and copies it to
// the channels of the copy string; a dialog whose "chnid" is outside 0..63
// is skipped. False when a write failed.
bool save_vca_dialog_data(json_object* body, int event, const char* copy_channels, size_t copy_size);
// Stores a region's action set for (channel, region 0..3) and copies it to
// the set. False when a write failed.
bool store_regional_actions(json_object* part, int channel, int region, uint64_t copies);

// ---- Steps both parts take for the two generations of camera records.

// The request's picture size into the record, and its "position" in the
// camera's frame.
template <typename Record>
VcaBox vca_request_box(json_object* body, Record* record, bool line)
{
    int width, height;
    vca_request_size(body, &width, &height);
    record->width = width, record->height = height;
    return vca_to_camera(vca_request_position(body), width, height, line);
}

// An analytics settings write: the checked `request_fields` (else
// `refused`), the settings `fields`, the picture size and the object box
// "position" in the camera's frame.
template <typename Settings, size_t R, size_t F>
HandlerStatus vca_set_settings(const char* request, const JsonField (&request_fields)[R],
                               const JsonField (&fields)[F], int code, HandlerStatus refused)
{
    static Settings payload;
    JsonPtr body = request_record(request, &payload, request_fields);
    if (!body)
        return refused;
    json_to_record(body.get(), &payload, fields);
    const VcaBox b = vca_request_box(body.get(), &payload, false);
    payload.x1 = b.v[0], payload.y1 = b.v[1], payload.x2 = b.v[2], payload.y2 = b.v[3];
    return vca_send_setting(code, &payload, (int)sizeof payload);
}

// The answer to a settings read: `fields`, then "position" in the browser's frame.
template <typename Settings, size_t F>
void vca_print_settings(IpcAnswer& answer, const JsonField (&fields)[F])
{
    static Settings settings;
    if (!answer_record(answer, &settings)) {
        answer.done = 0;
        return;
    }
    json_object* out = json_object_new_object();
    json_from_record(out, &settings, fields);
    const VcaBox b = {{settings.x1, settings.y1, settings.x2, settings.y2}};
    json_add_text(out, "position", vca_position_text(b, settings.width, settings.height).c_str());
    cgi_writeback_json(REPLY_JSON, out);
}

// The request's "line" list into the camera's lines: each object's
// "position" in the camera's frame, its other keys by `fill`.
template <typename Line, size_t N>
void vca_read_lines(json_object* body, int width, int height, Line (&lines)[N], void (*fill)(json_object*, Line&))
{
    json_object* list = nullptr;
    json_object_object_get_ex(body, "line", &list);
    for (size_t i = 0; i < N; i++) {
        json_object* line = json_array_at(list, i);
        if (!json_object_is_type(line, json_type_object))
            continue;
        Line& slot = lines[i];
        fill(line, slot);
        const VcaBox b = vca_to_camera(vca_request_position(line), width, height, true);
        slot.x1 = b.v[0], slot.y1 = b.v[1], slot.x2 = b.v[2], slot.y2 = b.v[3];
    }
}

// The camera's lines as the reply's "line" list: direction and position.
template <typename Line, size_t N>
json_object* vca_lines_json(const Line (&lines)[N], int width, int height)
{
    json_object* list = json_object_new_array();
    for (const Line& l : lines) {
        json_object* line = json_object_new_object();
        json_add_int(line, "direction", l.direction);
        const VcaBox b = {{l.x1, l.y1, l.x2, l.y2}};
        json_add_text(line, "position", vca_position_text(b, width, height).c_str());
        json_object_array_add(list, line);
    }
    return list;
}
