// Audio files through the built CGI: the list, uploads moved one by one,
// names cut before encoding, masks, and the paths a request may name.
#include <sys/stat.h>

#include "modules/system/system_audio.h"
#include "tests/support/handler_test.h"

namespace {

const std::string kB = "----AudioBoundary";
const std::string kWav = std::string("RIFF\x24\0\0\0WAVEfmt ", 16);

std::string repeat(const std::string& s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

audio_file_record slot(int id, int enable, const std::string& name)
{
    audio_file_record r = zeroed<audio_file_record>();
    r.id = id, r.enable = enable;
    put(r.name, name);
    return r;
}

class Audio : public HandlerTest {
protected:
    CgiResult upload(const std::string& client_name, const std::string& data)
    {
        CgiRequest r;
        r.method = "POST", r.path = "/6321", r.content_type = "multipart/form-data; boundary=" + kB;
        r.body = "--" + kB + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + client_name +
                 "\"\r\nContent-Type: audio/wav\r\n\r\n" + data + "\r\n--" + kB + "--\r\n";
        return run_cgi(root.path(), r);
    }
};

TEST_F(Audio, ListKeepsFilledSlotsAndDropsBadNames)
{
    core.reply(REQ_AUDIO_FILE_LIST, bytes_of(slot(0, 1, "RG9vcg")) + bytes_of(slot(1, 0, "RG9vcg")) +
                                        bytes_of(slot(2, 1, "R*9v")) + bytes_of(slot(3, 1, "VMO8cg==")) +
                                        bytes_of(slot(4, 1, repeat("QUFB", 43))) + std::string(100, 'x'));
    EXPECT_TRUE(json_reply_is(get("/6320").out,
                              R"({"audioFileList":[{"id":0,"enable":1,"name":"Door"},{"id":2,"enable":1},)"
                              R"({"id":3,"enable":1,"name":"Tür"},{"id":4,"enable":1,"name":")" +
                                  repeat("A", 96) + R"("}],"status":0})"));
    core.reply(REQ_AUDIO_FILE_LIST, std::string(135, '\1'));  // no whole record
    EXPECT_EQ(get("/6320").out, kJsonError);
}

TEST_F(Audio, UploadsMoveOnlyTheirOwnFile)
{
    root.write("/tmp/other.wav", "pending");
    const struct {
        const char* client;
        std::string reply, kept;
    } rows[] = {
        {"Door.WAV", "CGI OK status:[0], data:[RG9vci5XQVY]", "RG9vci5XQVY other.wav"},
        {"a.wav", "CGI OK status:[0], data:[YS53YXY]", "YS53YXY other.wav"},
        {"song.mp3", "CGI ERROR status:[-1], data:[]", "other.wav"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(upload(row.client, kWav).out, text_reply(row.reply)) << row.client;
        EXPECT_EQ(root.list("/tmp"), row.kept) << row.client;
        if (row.kept != "other.wav")
            unlink(root.at("/tmp/" + row.kept.substr(0, row.kept.find(' '))).c_str());
    }
    EXPECT_EQ(root.read("/tmp/other.wav"), "pending");
    // A JSON body naming a file is no upload: the database stays where it is.
    root.write("/mnt/nand/app/vxdb.db", "db");
    for (const char* body : {"/mnt/nand/app/vxdb.db", "/tmp/other.wav"})
        EXPECT_EQ(post("/6321", body).out, text_reply("CGI ERROR status:[-1], data:[]")) << body;
    EXPECT_EQ(root.read("/mnt/nand/app/vxdb.db"), "db");
    EXPECT_EQ(root.list("/tmp"), "other.wav");
}

TEST_F(Audio, AddRenamesTheNamedUploadOnly)
{
    audio_file_add want = zeroed<audio_file_add>();
    put(want.name, "RnJvbnQgZG9vcg");
    root.write("/tmp/RG9vci5XQVY", kWav);
    core.reply(REQ_AUDIO_FILE_ADD, int32_bytes({-2}));
    EXPECT_TRUE(json_reply_is(post("/6322", R"({"uploadName":"RG9vci5XQVY","name":"Front door"})").out,
                              R"({"status":-2})"));
    ASSERT_EQ(sent(REQ_AUDIO_FILE_ADD).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_AUDIO_FILE_ADD)[0].payload, bytes_of(want)));
    EXPECT_EQ(root.list("/tmp"), "RnJvbnQgZG9vcg");
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(204, 925, 0)});

    // A silent core: the error body and no log; hostile or missing names: nothing sent, nothing moved.
    core.silent(REQ_AUDIO_FILE_ADD);
    EXPECT_EQ(post("/6322", R"({"uploadName":"RnJvbnQgZG9vcg","name":"x"})").out, kJsonError);
    EXPECT_TRUE(no_logs());
    root.write("/mnt/nand/app/vxdb.db", "db");
    for (const char* body : {R"({"uploadName":"../mnt/nand/app/vxdb.db","name":"x"})", R"({"uploadName":"missing","name":"x"})",
                             R"({"uploadName":"eA","name":""})",
                             "{\"uploadName\":\"eA\",\"name\":\"\x96\x88\"}", R"({"uploadName":"","name":"x"})", R"({"name":"x"})", "{"}) {
        EXPECT_EQ(post("/6322", body).out, kJsonError) << body;
        EXPECT_TRUE(sent_all().empty()) << body;
    }
    EXPECT_EQ(root.read("/mnt/nand/app/vxdb.db"), "db");
    EXPECT_EQ(root.list("/tmp"), "eA");
}

TEST_F(Audio, DeleteSendsOnlyExistingSlots)
{
    core.reply(REQ_AUDIO_FILE_DELETE, int32_bytes({0}));
    const std::pair<const char*, int> rows[] = {{R"({"idMask":512})", 512}, {R"({"idMask":2047})", 1023},
                                                {R"({"idMask":1024})", -1}, {R"({"idMask":-1})", -1},
                                                {R"({"idMask":"all"})", -1},  {"{}", -1}};
    for (const auto& [body, mask] : rows) {
        const std::string out = post("/6323", body).out;
        if (mask < 0) {
            EXPECT_EQ(out, kJsonError) << body;
            EXPECT_TRUE(sent_all().empty()) << body;
            continue;
        }
        EXPECT_TRUE(json_reply_is(out, R"({"status":0})")) << body;
        ASSERT_EQ(sent(REQ_AUDIO_FILE_DELETE).size(), 1u);
        EXPECT_EQ(sent(REQ_AUDIO_FILE_DELETE)[0].payload, int32_bytes({mask})) << body;
        EXPECT_EQ(logs(1), std::vector<std::string>{log_record(204, 925, 0)});
    }
}

// 127 characters would encode to 170: the name is cut to 95 bytes at a
// character boundary first, so the encoding fills the field and no more.
TEST_F(Audio, RenameCutsLongNamesBeforeEncoding)
{
    core.reply(REQ_AUDIO_FILE_RENAME, int32_bytes({0}));
    const std::pair<std::string, std::string> rows[] = {
        {repeat("A", 120), repeat("QUFB", 31) + "QUE"},
        {repeat("\u00e9", 120), repeat("w6nDqcOp", 15) + "w6nDqQ"},
    };
    for (const auto& [name, encoded] : rows) {
        EXPECT_TRUE(json_reply_is(post("/6324", R"({"id":9,"name":")" + name + "\"}").out, R"({"status":0})"));
        ASSERT_EQ(sent(REQ_AUDIO_FILE_RENAME).size(), 1u);
        EXPECT_TRUE(same_bytes(sent(REQ_AUDIO_FILE_RENAME)[0].payload, bytes_of(slot(9, 1, encoded))));
    }
    for (const char* body : {R"({"id":10,"name":"x"})", R"({"id":1,"name":""})", R"({"id":1})"})
        EXPECT_EQ(post("/6324", body).out, kJsonError) << body;
    core.reply(REQ_AUDIO_FILE_SEND_ID, int32_bytes({-1}));
    EXPECT_TRUE(json_reply_is(post("/6325", R"({"id":3})").out, R"({"status":-1})"));
    EXPECT_EQ(sent(REQ_AUDIO_FILE_SEND_ID)[0].payload, int32_bytes({3}));
}

// The local device: a file uploaded as a browser (or curl) does it is named,
// listed, renamed and deleted.
TEST(AudioSimulated, UploadedFileAppearsInTheList)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body, const std::string& type = "application/json") {
        CgiRequest r;
        r.method = "POST", r.path = path, r.body = body, r.content_type = type;
        return reply_body(run_cgi(root.path(), r).out);
    };
    const std::string form = "--" + kB + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"bell.wav\"\r\n\r\n" +
                             kWav + "\r\n--" + kB + "--\r\n";
    ASSERT_EQ(run("/6321", form, "multipart/form-data; boundary=" + kB), "CGI OK status:[0], data:[YmVsbC53YXY]");
    EXPECT_EQ(canon(run("/6322", R"({"uploadName":"YmVsbC53YXY","name":"Bell"})")), R"({"status":0})");
    EXPECT_EQ(canon(run("/6324", R"({"id":0,"name":"Gong"})")), R"({"status":0})");
    EXPECT_EQ(canon(run("/6320", "")), R"({"audioFileList":[{"id":0,"enable":1,"name":"Gong"}],"status":0})");
    EXPECT_EQ(root.read("/mnt/nand/audio/0.wav"), kWav);
    EXPECT_EQ(canon(run("/6323", R"({"idMask":1})")), R"({"status":0})");
    EXPECT_EQ(canon(run("/6320", "")), R"({"audioFileList":[],"status":0})");
}

}  // namespace
