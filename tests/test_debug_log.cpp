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
    localtime_r(&now, &t);
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &t);
    return buf;
}

class DebugLog : public ::testing::Test {
protected:
    void SetUp() override { root_.use_in_process(); }
    ScratchRoot root_;
};

TEST_F(DebugLog, TwoCallsAppendTwoLines)
{
    root_.write(kLog, "older line\n");
    const std::string before = local_now();
    ASSERT_EQ(cgi_log("OnState", 12, "", "first %d", 1), 0);
    ASSERT_EQ(cgi_log("dispatchreq", 62, "label", "%s=%d", "x", -4), 0);
    const std::string after = local_now();
    std::smatch m;
    const std::string text = root_.read(kLog);
    ASSERT_TRUE(std::regex_match(text, m,
                                 std::regex("older line\n\\[orvel debug\\] (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)  "
                                            "OnState:12 in : first 1\n\\[orvel debug\\] \\S+ \\S+  "
                                            "dispatchreq:62 in label: x=-4\n")))
        << text;
    EXPECT_GE(m[1].str(), before);  // the local time of the call
    EXPECT_LE(m[1].str(), after);
}

TEST_F(DebugLog, LinesCutTo2047CharactersAndNewline)
{
    ASSERT_EQ(cgi_log("OnState", 12, "", "m"), 0);
    const size_t prefix = root_.read(kLog).size() - 2;  // less "m" and the newline
    for (size_t want : {2045u, 2046u, 2047u, 2048u, 2049u, 3000u}) {
        SCOPED_TRACE(want);
        unlink(root_.at(kLog).c_str());
        ASSERT_EQ(cgi_log("OnState", 12, "", "%s", std::string(want - prefix, 'y').c_str()), 0);
        const std::string text = root_.read(kLog);
        const size_t kept = std::min<size_t>(want, 2047);
        ASSERT_EQ(text.size(), kept + 1);
        EXPECT_EQ(text.find('\n'), kept);
        EXPECT_EQ(text.compare(0, 14, "[orvel debug] "), 0);
        EXPECT_EQ(text.substr(kept - 100, 100), std::string(100, 'y'));
    }
}

TEST_F(DebugLog, UnopenableFileGivesMinusOne)
{
    setenv("NVRWEB_ROOT", (root_.path() + "/no/such/dir").c_str(), 1);
    EXPECT_EQ(cgi_log("OnState", 12, "", "lost"), -1);
    root_.use_in_process();
    EXPECT_FALSE(root_.exists(kLog));
}

}  // namespace
