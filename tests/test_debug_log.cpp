// The developer's debug log (cgi_log): line format, order, creation, the 2047-character cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <unistd.h>
#include <regex>
#include <string>
#include <vector>

#include "frontend/cgi_env.h"
#include "tests/support/scratch.h"

namespace {

const char* kLog = "/mnt/nand/cgi_log.txt";

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    if (start < text.size())
        out.push_back(text.substr(start) + "<no newline>");
    return out;
}

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

TEST_F(DebugLog, TwoCallsTwoLinesInOrderFileCreated)
{
    ASSERT_FALSE(root_.exists(kLog));
    EXPECT_EQ(cgi_log("OnState", 12, "", "first %d", 1), 0);
    EXPECT_TRUE(root_.exists(kLog));
    EXPECT_EQ(cgi_log("OnSystem", 3456, "", "second %s", "call"), 0);
    auto lines = lines_of(root_.read(kLog));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("  OnState:12 in : first 1"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("  OnSystem:3456 in : second call"), std::string::npos) << lines[1];
}

TEST_F(DebugLog, LineFormat)
{
    const std::string before = local_now();
    ASSERT_EQ(cgi_log("OnState", 12, "", "msg"), 0);
    const std::string after = local_now();
    const std::string text = root_.read(kLog);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        text, m,
        std::regex("\\[orvel debug\\] (\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2})  OnState:12 in : msg\n")))
        << text;
    // The local time of the call.
    EXPECT_GE(m[1].str(), before);
    EXPECT_LE(m[1].str(), after);

    ASSERT_EQ(cgi_log("dispatchreq", 62, "label", "%s=%d", "x", -4), 0);
    auto lines = lines_of(root_.read(kLog));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(
        lines[1], std::regex("\\[orvel debug\\] \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}  dispatchreq:62 in label: x=-4")))
        << lines[1];
}

TEST_F(DebugLog, AppendsToWhatIsThere)
{
    root_.write(kLog, "older line\n");
    ASSERT_EQ(cgi_log("OnState", 1, "", "new"), 0);
    auto lines = lines_of(root_.read(kLog));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "older line");
    EXPECT_NE(lines[1].find("OnState:1 in : new"), std::string::npos);
}

TEST_F(DebugLog, LongMessageCutTo2047CharactersAndNewline)
{
    ASSERT_EQ(cgi_log("OnState", 12, "", "%s", std::string(3000, 'x').c_str()), 0);
    const std::string text = root_.read(kLog);
    ASSERT_EQ(text.size(), 2048u);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\n'), 2047u);
    EXPECT_EQ(text.compare(0, 14, "[orvel debug] "), 0);
    EXPECT_EQ(text.substr(2047 - 100, 100), std::string(100, 'x'));
}

TEST_F(DebugLog, CutAroundTheLimit)
{
    // The prefix length, from a short line.
    ASSERT_EQ(cgi_log("OnState", 12, "", "m"), 0);
    const size_t prefix = root_.read(kLog).size() - 2;  // less "m" and the newline
    unlink(root_.at(kLog).c_str());

    // Lines of 2045 to 2049 characters before the newline.
    for (size_t want = 2045; want <= 2049; want++) {
        SCOPED_TRACE(want);
        const std::string message(want - prefix, 'y');
        ASSERT_EQ(cgi_log("OnState", 12, "", "%s", message.c_str()), 0);
        const std::string text = root_.read(kLog);
        auto lines = lines_of(text);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].size(), std::min<size_t>(want, 2047));
        EXPECT_EQ(text.size(), lines[0].size() + 1);
        unlink(root_.at(kLog).c_str());
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
