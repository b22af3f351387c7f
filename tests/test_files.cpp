// Paths from requests and answers kept inside their directory, in-process:
// the directory check, answer-named files in /tmp, uploads named by path.
#include <sys/stat.h>
#include <unistd.h>

#include "core/files.h"
#include "core/request.h"
#include "platform/devpath.h"
#include "tests/support/handler_test.h"

namespace {

TEST(Files, PathsStayInsideTheirDirectory)
{
    ScratchRoot root;
    root.use_in_process();
    root.write("/mnt/nand/app/vxdb.db", "database");
    root.write("/tmp/a.txt", "a");
    root.write("/tmp/sub/b.txt", "b");
    const std::pair<const char*, const char*> links[] = {
        {"/tmp/a.txt", "/tmp/in"}, {"/mnt/nand/app/vxdb.db", "/tmp/out"}, {"/mnt/nand/app", "/tmp/outdir"},
        {"/tmp/sub", "/tmp/indir"}, {"/nowhere", "/tmp/dangling"}};
    for (const auto& [target, at] : links)
        ASSERT_EQ(symlink(root.at(target).c_str(), root.at(at).c_str()), 0);
    mkfifo(root.at("/tmp/fifo").c_str(), 0600);

    // Name after "/tmp/"; accepted by path_in_directory, by path_below_directory,
    // opened by tmp_file_open, taken by upload_path_from_request (with " & r").
    const struct {
        const char* name;
        bool in, below, opened, upload;
    } rows[] = {
        {"a.txt", 1, 1, 1, 1},           {"new", 1, 1, 0, 0},         {"in", 1, 1, 0, 0},
        {"out", 0, 0, 0, 0},             {"outdir", 0, 0, 0, 0},      {"dangling", 0, 0, 0, 0},
        {"sub", 1, 1, 0, 0},             {"fifo", 1, 1, 0, 0},        {"..", 0, 0, 0, 0},
        {".", 0, 0, 0, 0},               {"", 0, 0, 0, 0},            {"sub/b.txt", 0, 1, 1, 0},
        {"indir/b.txt", 0, 1, 1, 0},     {"outdir/vxdb.db", 0, 0, 0, 0}, {"../mnt/nand/app/vxdb.db", 0, 0, 0, 0},
        {"sub/../a.txt", 0, 0, 0, 0},    {"sub//b.txt", 0, 0, 0, 0},  {"$(touch x)`y`", 1, 1, 0, 0},
    };
    for (const auto& r : rows) {
        const std::string full = std::string("/tmp/") + r.name, mapped = root.at(full);
        std::string in, below;
        EXPECT_EQ(path_in_directory("/tmp", r.name, &in) && in == mapped, r.in) << r.name;
        EXPECT_EQ(path_below_directory("/tmp", full.c_str(), &below) && below == mapped, r.below) << r.name;
        TmpFile file;
        EXPECT_EQ(tmp_file_open(full.c_str(), &file), r.opened) << r.name;
        tmp_file_close(&file, false);
        UploadPath up;
        for (bool via_upload : {false, true}) {
            request_context().via_upload = via_upload;
            EXPECT_EQ(upload_path_from_request((full + " & r").c_str(), &up) && up.path == mapped && up.rest == "r",
                      via_upload && r.upload)
                << r.name;
        }
    }
    request_context().via_upload = true;
    std::string out;
    UploadPath up;
    for (const char* path : {"/tmpx/a.txt", "tmp/a.txt", "/tmp", "/tmp/", "/mnt/nand/app/vxdb.db"})
        EXPECT_FALSE(path_below_directory("/tmp", path, &out) || upload_path_from_request(path, &up)) << path;
    request_context().via_upload = false;

    // Removed only while the name still holds the file that was opened.
    TmpFile file;
    ASSERT_TRUE(tmp_file_open("/tmp/sub/b.txt", &file));
    root.write("/tmp/other", "other");
    ASSERT_EQ(rename(root.at("/tmp/other").c_str(), root.at("/tmp/sub/b.txt").c_str()), 0);
    tmp_file_close(&file, true);
    EXPECT_EQ(root.read("/tmp/sub/b.txt"), "other");
    ASSERT_TRUE(tmp_file_open("/tmp/a.txt", &file));
    tmp_file_close(&file, true);
    EXPECT_FALSE(root.exists("/tmp/a.txt"));
    EXPECT_EQ(root.read("/mnt/nand/app/vxdb.db"), "database");
}

}  // namespace
