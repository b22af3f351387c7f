// The developer's debug log (cgi_log): line format, appending, the 2047-character cut.
#include <ctime>
#include <regex>
#include <unistd.h>

#include "frontend/cgi_env.h"
#include "tests/support/handler_test.h"

namespace {

const char* kLog = "/mnt/nand/cgi_log.txt";

std::string local_now()
{
    time_t now = time(nullptr);
    struct tm t;
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", localtime_r(&now, &t));
    return buf;
}

TEST(DebugLog, TwoCallsAppendTwoLinesAndAnUnopenableFileGivesMinusOne)
{
    ScratchRoot root;
    root.use_in_process();
    root.write(kLog, "older line\n");
    const std::string before = local_now();
    ASSERT_EQ(cgi_log("OnState", 12, "", "first %d", 1), 0);
    ASSERT_EQ(cgi_log("dispatchreq", 62, "label", "%s=%d", "x", -4), 0);
    const std::string after = local_now(), text = root.read(kLog);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m,
                                 std::regex("older line\n\\[orvel debug\\] (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)  "
                                            "OnState:12 in : first 1\n\\[orvel debug\\] \\S+ \\S+  "
                                            "dispatchreq:62 in label: x=-4\n")))
        << text;
    EXPECT_GE(m[1].str(), before);  // the local time of the call
    EXPECT_LE(m[1].str(), after);

    setenv("NVRWEB_ROOT", (root.path() + "/no/such/dir").c_str(), 1);
    EXPECT_EQ(cgi_log("OnState", 12, "", "lost"), -1);
    root.use_in_process();
    EXPECT_EQ(root.read(kLog), text);
}

TEST(DebugLog, LinesCutTo2047CharactersAndNewline)
{
    ScratchRoot root;
    root.use_in_process();
    ASSERT_EQ(cgi_log("OnState", 12, "", "m"), 0);
    const size_t prefix = root.read(kLog).size() - 2;  // less "m" and the newline
    for (size_t want : {2045u, 2046u, 2047u, 2048u, 2049u, 3000u}) {
        SCOPED_TRACE(want);
        unlink(root.at(kLog).c_str());
        ASSERT_EQ(cgi_log("OnState", 12, "", "%s", std::string(want - prefix, 'y').c_str()), 0);
        const std::string text = root.read(kLog);
        const size_t kept = std::min<size_t>(want, 2047);
        ASSERT_EQ(text.size(), kept + 1);
        EXPECT_EQ(text.find('\n'), kept);
        EXPECT_EQ(text.compare(0, 14, "[orvel debug] "), 0);
        EXPECT_EQ(text.substr(kept - 100, 100), std::string(100, 'y'));
    }
}

}  // namespace
