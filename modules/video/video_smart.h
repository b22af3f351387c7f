// Steps the two smart-event parts share: the detection settings and action
// sets (video_smart.cpp) and the newer cameras' analytics, fisheye and
// regional people counting (video_smart_camera.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <json-c/json.h>
#include <string>

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
