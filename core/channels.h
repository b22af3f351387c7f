// Channel sets from a request: a count with an array of channel numbers, a
// channel string of "0"/"1", and the model's camera count as a loop bound.
#pragma once
#include <cstddef>
#include <cstdint>
#include <json-c/json.h>

enum { CHANNEL_COUNT = 64 };  // channels 0 to 63, one bit each

struct ChannelList {
    int count;                        // channels in `channels`, each once
    uint8_t channels[CHANNEL_COUNT];  // in the order the request first names them
    uint64_t mask;                    // bit n for channel n
};

// The channels among the first `count` elements of `array`: never more
// elements than the array has (json-c gives null past its end, which would
// read as channel 0), elements that are not integers skipped, channels
// outside 0..63 ignored, each channel taken once. An empty list for a
// missing array or a count of 0 or less.
ChannelList channel_list_from_array(json_object* array, int count);
// The same for a request's count key ("cnt", "copyCnt", "num") and array
// key ("chnid", "copyChn", ...); a count that is not an integer gives none.
ChannelList channel_list_by_json(json_object* request, const char* array_key, const char* count_key);

// The mask of a channel string: bit n when character n is '1', from at most
// the first 64 characters and `size` bytes (a field may lack its NUL). A
// mask kept beside a string is always derived again from the whole string,
// so a channel turned to '0' loses its bit; a 32-bit mask keeps bits 0..31.
uint64_t channel_string_mask(const char* text, size_t size);

// A channel count bounding a loop over a table of 64 rows, cut to 1..64.
int channel_count_clamp(int count);
// The model's camera count, the parameter "max_cameras" (32 when absent),
// cut to 1..64.
int get_max_cameras(const char* db);
