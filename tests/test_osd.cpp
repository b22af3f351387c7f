// On-screen display and privacy masks, black-box through nvrweb.cgi against
// the fake core service and a scratch database; one run against coresim.
#include "modules/video/video.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kOsdKind = {"osd", (int)sizeof(osd), 64};
const vxdb_kind kMaskKind = {"privacy_mask", (int)sizeof(privacy_mask), 64};

class OsdTest : public HandlerTest {
protected:
    osd stored_osd(int channel)
    {
        osd o;
        stored(kOsdKind, channel, &o);
        return o;
    }
    // The camera's answer to `code` in the next run: the bytes, or none.
    void camera_answers(int code, const std::string& answer)
    {
        core.clear();
        if (answer == kSilent)
            core.silent(code);
        else
            core.reply(code, answer);
    }
};

TEST_F(OsdTest, RecorderOsdReadWrittenAndRenamed)
{
    osd o = zeroed<osd>();
    o.id = 7, o.show_name = 1, o.date_format = 2, o.alpha = 90;
    o.date_pos_x = 12.5, o.date_pos_y = 0.25, o.name_pos_x = 3, o.name_pos_y = 100.75;
    put(o.name, "Gate");
    o.reserved[0] = 0x5a;
    store(kOsdKind, 7, &o);
    EXPECT_TRUE(json_reply_is(get("/6000", "7").out,
                              R"({"camId":7,"camName":"Gate","showName":1,"showDate":0,"showWeek":0,"dateFormat":2,)"
                              R"("timeFormat":0,"datePosX":12.5,"datePosY":0.25,"namePosX":3.0,"namePosY":100.75,)"
                              R"("alpha":90})"));

    const std::string name70(70, 'n');
    const std::string body = R"({"camId":7,"camName":")" + name70 +
                             R"(","showName":0,"showDate":1,"showWeek":1,"dateFormat":3,"timeFormat":1,)"
                             R"("datePosX":1.5,"datePosY":2,"namePosX":0,"namePosY":4.25,"alpha":30})";
    ASSERT_EQ(post("/6001", body).out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_OSD_CHANGED), int32_bytes({7, 1, 0})));
    osd want = zeroed<osd>();
    want.id = 7, want.show_date = 1, want.show_week = 1, want.date_format = 3, want.time_format = 1, want.alpha = 30;
    want.date_pos_x = 1.5, want.date_pos_y = 2, want.name_pos_y = 4.25;
    put(want.name, name70.substr(0, 63));
    want.reserved[0] = 0x5a;  // bytes the request does not name are kept
    EXPECT_TRUE(same_bytes(bytes_of(stored_osd(7)), bytes_of(want)));

    core.clear();
    ASSERT_EQ(post("/6002", R"({"camId":7,"camName":")" + std::string(40, 'x') + "\"}").out, text_reply());
    put(want.name, std::string(31, 'x'));
    EXPECT_TRUE(same_bytes(bytes_of(stored_osd(7)), bytes_of(want)));
    EXPECT_TRUE(sent_all().empty());

    // Refused: no reply, nothing stored or sent.
    const std::string valid = body;
    auto with = [&](const std::string& from, const std::string& to) {
        std::string b = valid;
        return b.replace(b.find(from), from.size(), to);
    };
    const struct { std::string path, body; } refused[] = {
        {"/6001", with("\"showName\":0", "\"showName\":2")},
        {"/6001", with("\"dateFormat\":3", "\"dateFormat\":4")},
        {"/6001", with("\"camId\":7", "\"camId\":64")},
        {"/6001", with("\"namePosX\":0", "\"namePosX\":-0.5")},
        {"/6001", with("\"alpha\":30", "\"alpha\":\"x\"")},
        {"/6001", with(",\"datePosY\":2", "")},
        {"/6002", R"({"camId":64,"camName":"far"})"},
        {"/6002", R"({"camId":-1,"camName":"far"})"},
        {"/6002", R"({"camId":1})"},
        {"/6000", "64"},
        {"/6000", "x"},
    };
    core.clear();
    for (const auto& c : refused)
        EXPECT_EQ(post(c.path, c.body).out, "") << c.path << " " << c.body;
    EXPECT_TRUE(sent_all().empty());
    EXPECT_TRUE(same_bytes(bytes_of(stored_osd(7)), bytes_of(want)));
    EXPECT_EQ(stored(kOsdKind, 63, &want), 1);
}

TEST_F(OsdTest, CameraOsdAskedAndSet)
{
    camera_osd osd = zeroed<camera_osd>();
    osd.channel = 2, osd.enable_text = 1, osd.textpos = 3, osd.datepos = 1, osd.font_size = 9;
    osd.enable_text_sub = 1, osd.dateformat_sub = 2, osd.font_size_sub = 8;
    memset(osd.text_name, 'a', sizeof osd.text_name);  // no NUL: read within the field
    put(osd.text_name_sub, "sub");
    const std::string full = R"({"enable_text":1,"text_name":")" + std::string(256, 'a') +
                             R"(","textpos":3,"enable_date":0,"datepos":1,"dateformat":0,"enable_text_sub":1,)"
                             R"("text_name_sub":"sub","textpos_sub":0,"enable_date_sub":0,"datepos_sub":0,)"
                             R"("dateformat_sub":2,"disconnect":1})";
    camera_osd gone = zeroed<camera_osd>();
    gone.channel = -1;
    const struct { std::string answer, out; } cases[] = {
        {bytes_of(osd), full},
        {bytes_of(gone), R"({"disconnect":0})"},
        {"", kTextError},
        {bytes_of(osd).substr(0, 847), kTextError},
        {kSilent, kTextError},
    };
    for (const auto& c : cases) {
        camera_answers(REQ_CAMERA_OSD_GET, c.answer);
        const std::string out = post("/6997", R"({"id":2})").out;
        if (c.out == kTextError)
            EXPECT_EQ(out, kTextError) << c.answer.size();  // one body, not two
        else
            EXPECT_TRUE(json_reply_is(out, c.out)) << out;
        EXPECT_TRUE(same_bytes(one(REQ_CAMERA_OSD_GET), int32_bytes({2})));
    }

    const std::string set = R"({"ch":5,"enable_text":1,"text_name":")" + std::string(300, 't') +
                            R"(","textpos":2,"enable_date":1,"datepos":3,"dateformat":1,"fontSize":4,)"
                            R"("text_name_sub":"s","fontSizeSub":6,"type":7})";
    camera_osd want = zeroed<camera_osd>();
    want.channel = 5, want.enable_text = 1, want.textpos = 2, want.enable_date = 1, want.datepos = 3;
    want.dateformat = 1, want.font_size = 4, want.font_size_sub = 6, want.type = 7;
    put(want.text_name, std::string(255, 't'));
    put(want.text_name_sub, "s");
    const struct { std::string answer, out; } results[] = {
        {int32_bytes({0}), text_reply("OK")},      {int32_bytes({-1}), text_reply("NO_SUPPORT")},
        {int32_bytes({3}), text_reply("ERROR")},   {"", kTextError},
        {kSilent, kTextError},
    };
    for (const auto& c : results) {
        camera_answers(REQ_CAMERA_OSD_SET, c.answer);
        EXPECT_EQ(post("/6996", set).out, c.out) << c.answer.size();
        EXPECT_TRUE(same_bytes(one(REQ_CAMERA_OSD_SET), bytes_of(want)));
    }
    core.clear();
    for (const char* bad : {R"({"ch":5,"enable_text":1,"text_name":"x","textpos":2,"enable_date":1,"datepos":3,)"
                            R"("dateformat":1})",
                            R"({"id":64})", R"({"id":"2"x})"})
        EXPECT_EQ(post(bad[2] == 'c' ? "/6996" : "/6997", bad).out, "") << bad;
    EXPECT_TRUE(sent_all().empty());
}

TEST_F(OsdTest, MaskSetSelectsValidChannelsAndCutsAreas)
{
    std::string areas;
    for (int i = 0; i < 30; i++)
        areas += std::string(i ? "," : "") + "{\"area_id\":" + std::to_string(i) + ",\"enable\":1,\"start_x\":" +
                 std::to_string(i * 2) + ",\"ratio\":3,\"name\":\"" + (i == 1 ? std::string(70, 'm') : "m") + "\"}";
    areas.replace(areas.find("{\"area_id\":4,"), 0, "7,");  // not an object: its slot stays zero
    const std::string body = R"({"cnt":3,"chnid":[3,70,5],"enable":1,"cgiSdkFlag":2,"num":20,"mosaicNum":20,)"
                             R"("areaMaskEnable":1,"mosaicSupport":1,"delMask":-2,"area":[)" + areas + "]}";
    ASSERT_EQ(post("/6019", body).out, text_reply());

    privacy_mask_set want = zeroed<privacy_mask_set>();
    memset(want.channels, '0', sizeof want.channels);
    want.channels[3] = want.channels[5] = '1';
    want.enable = 1, want.cgi_sdk_flag = 2, want.num = 20, want.mosaic_num = 20;
    want.area_mask_enable = 1, want.mosaic_support = 1, want.delete_flag = -1;
    for (int i = 0; i < 28; i++) {
        const int element = i < 4 ? i : i - 1;  // slot 4 took the stray 7
        if (i == 4)
            continue;
        camera_mask_area& a = want.areas[i];
        a.area_id = element, a.enable = 1, a.start_x = element * 2, a.ratio = 3;
        put(a.name, element == 1 ? std::string(63, 'm') : "m");
    }
    EXPECT_TRUE(same_bytes(one(REQ_PRIVACY_MASK_SET), bytes_of(want)));

    core.clear();
    for (const char* bad : {R"({"chnid":[1],"area":[]})", R"({"cnt":1,"area":[]})", R"({"cnt":1,"chnid":[1]})"})
        EXPECT_EQ(post("/6019", bad).out, "") << bad;
    EXPECT_TRUE(sent_all().empty());

    const struct { std::string body, out; std::string wire; } deletes[] = {
        {R"({"chan_id":63,"area_id":24})", text_reply(), int32_bytes({63, 24})},
        {R"({"chan_id":1,"area_id":25})", kJsonError, ""},
        {R"({"chan_id":64,"area_id":0})", kJsonError, ""},
        {R"({"area_id":0})", kJsonError, ""},
    };
    for (const auto& c : deletes) {
        core.clear();
        EXPECT_EQ(post("/6173", c.body).out, c.out) << c.body;
        if (c.wire.empty())
            EXPECT_TRUE(sent_all().empty()) << c.body;
        else
            EXPECT_TRUE(same_bytes(one(REQ_PRIVACY_MASK_DELETE), c.wire));
    }
}

TEST_F(OsdTest, CameraMasksPrintedWithinTheRecord)
{
    privacy_mask_answer m = zeroed<privacy_mask_answer>();
    m.id = 4, m.enable = 1, m.num = 1, m.mosaic_num = 60, m.cgi_sdk_flag = 2, m.max_ptz_zoom_ratio = 5;
    m.area_enable = 1, m.mosaic_support = 1, m.color_support = 9;
    memset(m.sdkversion, 'v', sizeof m.sdkversion);
    put(m.color_list, "0,1");
    for (int i = 0; i < 28; i++)
        m.areas[i].area_id = i, m.areas[i].start_x = 10, m.areas[i].area_height = 20, m.areas[i].ratio = i;
    put(m.areas[0].name, "door");
    std::string area;
    for (int i = 0; i < 28; i++)
        area += std::string(i ? "," : "") + "{\"area_id\":" + std::to_string(i) +
                R"(,"enable":0,"start_x":10,"start_y":0,"area_width":0,"area_height":20,"width":460,"height":260,)"
                R"("fill_color":0,"left":10,"top":0,"right":0,"bottom":20,"ratio":)" + std::to_string(i) +
                ",\"name\":\"" + (i ? "" : "door") + "\"}";
    const std::string want = R"([{"id":4,"num":1,"maxPtzZoomRatio":5,"areaEnable":1,"enable":1,"sdkversion":")" +
                             std::string(32, 'v') + R"(","cgiSdkFlag":2,"colorList":"0,1","mosaicSupport":1,)"
                             R"("mosaicNum":60,"area":[)" + area + R"(],"colorSupport":9}])";
    const struct { std::string answer, out; } cases[] = {
        {bytes_of(m), want},
        {bytes_of(m).substr(0, 2831), kTextError},
        {"", kTextError},
        {kSilent, kTextError},
    };
    for (const auto& c : cases) {
        camera_answers(REQ_PRIVACY_MASK_GET, c.answer);
        const std::string out = post("/6115", R"({"id":4})").out;
        if (c.out == kTextError)
            EXPECT_EQ(out, kTextError) << c.answer.size();
        else
            EXPECT_TRUE(json_reply_is(out, c.out)) << out.substr(0, 300);
        EXPECT_TRUE(same_bytes(one(REQ_PRIVACY_MASK_GET), int32_bytes({4})));
    }

    core.reply(REQ_CAMERA_MODEL_TYPE, int32_bytes({3}));
    EXPECT_TRUE(json_reply_is(post("/6116", R"({"id":4})").out, R"({"result":3})"));
    core.silent(REQ_CAMERA_MODEL_TYPE);
    EXPECT_EQ(post("/6116", R"({"id":4})").out, kTextError);
    core.reply(REQ_PRIVACY_MASK_EDIT, int32_bytes({-1}));
    EXPECT_TRUE(json_reply_is(post("/6198", R"({"chnid":4,"maskid":2})").out, R"({"res":-1})"));
    EXPECT_TRUE(same_bytes(one(REQ_PRIVACY_MASK_EDIT), int32_bytes({4, 2})));
    core.silent(REQ_PRIVACY_MASK_EDIT);
    EXPECT_EQ(post("/6198", R"({"chnid":4,"maskid":2})").out, kJsonError);

    // The stored masks: 24 areas per channel, every camera of the model.
    set_param("max_cameras", 2);
    privacy_mask stored_mask = zeroed<privacy_mask>();
    stored_mask.id = 1;
    stored_mask.areas[23] = {23, 1, 2, 3, 4, 5, 6, 7, 8};
    store(kMaskKind, 1, &stored_mask);
    const std::string reply = canon(reply_body(get("/6018").out));
    const std::string last = R"({"area_id":23,"enable":1,"start_x":2,"start_y":3,"area_width":4,"area_height":5,)"
                             R"("width":6,"height":7,"fill_color":8}]}])";
    EXPECT_EQ(reply.substr(0, 16), R"([{"id":0,"area":)");
    EXPECT_NE(reply.find(R"(},{"id":1,"area":)"), std::string::npos);
    EXPECT_EQ(reply.size() > last.size() ? reply.substr(reply.size() - last.size()) : reply, last);
}

// The local device: seeded names, masks kept by the simulated camera, and a
// channel without a camera shown as disconnected.
TEST(OsdLocalDevice, NamesMasksAndDisconnectedCameras)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body) {
        return post_json(root.path(), path, body).out;
    };
    EXPECT_NE(canon(reply_body(run("/6000", "3"))).find(R"("camName":"CH4")"), std::string::npos);
    EXPECT_EQ(run("/6019", R"({"cnt":1,"chnid":[2],"num":1,"mosaicNum":0,"enable":1,)"
                           R"("area":[{"area_id":0,"enable":1,"start_x":5,"name":"desk"}]})"),
              text_reply());
    const std::string masks = canon(reply_body(run("/6115", R"({"id":2})")));
    EXPECT_NE(masks.find(R"("area":[{"area_id":0,"enable":1,"start_x":5,)"), std::string::npos) << masks;
    EXPECT_NE(masks.find(R"("name":"desk"}],"colorSupport":1}])"), std::string::npos) << masks;
    EXPECT_EQ(run("/6996", R"({"ch":2,"enable_text":1,"text_name":"Lobby","textpos":1,"enable_date":1,)"
                           R"("datepos":0,"dateformat":0,"fontSize":2})"),
              text_reply("OK"));
    EXPECT_NE(canon(reply_body(run("/6997", R"({"id":2})"))).find(R"("text_name":"Lobby")"), std::string::npos);
    EXPECT_TRUE(json_reply_is(run("/6997", R"({"id":40})"), R"({"disconnect":0})"));
    EXPECT_EQ(run("/6996", R"({"ch":40,"enable_text":1,"text_name":"x","textpos":1,"enable_date":1,)"
                           R"("datepos":0,"dateformat":0,"fontSize":2})"),
              text_reply("NO_SUPPORT"));
}

}  // namespace
