// Channel sets from a request, built the same way for every module.
#include "core/channels.h"

#include <cstring>

#include "core/json_util.h"
#include "platform/vxdb.h"

ChannelList channel_list_from_array(json_object* array, int count)
{
    ChannelList list;
    memset(&list, 0, sizeof list);
    size_t n = json_array_size(array);
    if (count <= 0)
        return list;
    if ((size_t)count < n)
        n = (size_t)count;
    for (size_t i = 0; i < n; i++) {
        int64_t channel;
        if (!json_as_int64(json_array_at(array, i), &channel) || channel < 0 || channel >= CHANNEL_COUNT)
            continue;
        const uint64_t bit = 1ULL << channel;
        if (list.mask & bit)
            continue;
        list.mask |= bit;
        list.channels[list.count++] = (uint8_t)channel;
    }
    return list;
}

ChannelList channel_list_by_json(json_object* request, const char* array_key, const char* count_key)
{
    int count = 0;
    json_object* array = nullptr;
    if (!json_get_int(request, count_key, &count) || !array_key ||
        !json_object_object_get_ex(request, array_key, &array))
        count = 0;
    return channel_list_from_array(array, count);
}

uint64_t channel_string_mask(const char* text, size_t size)
{
    uint64_t mask = 0;
    if (!text)
        return 0;
    for (size_t i = 0; i < CHANNEL_COUNT && i < size && text[i]; i++)
        if (text[i] == '1')
            mask |= 1ULL << i;
    return mask;
}

int channel_count_clamp(int count)
{
    return count < 1 ? 1 : count > CHANNEL_COUNT ? CHANNEL_COUNT : count;
}

int get_max_cameras(const char* db)
{
    return channel_count_clamp(get_param_int(db, "max_cameras", 32));
}
