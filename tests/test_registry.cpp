// The web resource registry in-process: capacity, all-or-nothing, slot reuse, exact match, shipped tables.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "frontend/dispatchreq.h"
#include "frontend/modules.h"
#include "tests/support/handler_test.h"

namespace {

std::vector<std::string> g_calls;
HandlerStatus handler_a(const char* request) { return g_calls.push_back(std::string("A:") + request), HANDLER_DONE; }
HandlerStatus handler_b(const char* request) { return g_calls.push_back(std::string("B:") + request), HANDLER_DONE; }

// n entries "/<prefix>0000", "/<prefix>0001"...; with n 0, one entry whose path is `prefix`.
std::vector<WebResEntry> table(const char* prefix, int n, WebResHandler h = handler_a)
{
    std::vector<WebResEntry> t((size_t)std::max(n, 1), WebResEntry{"", h, "test"});
    for (size_t i = 0; i < t.size(); i++) {
        std::string path = n ? "/" + std::string(prefix) + std::to_string(10000 + i).substr(1) : prefix;
        snprintf(t[i].path, sizeof t[i].path, "%s", path.c_str());
    }
    return t;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_.use_in_process();
        g_calls.clear();
        baseline_ = WebResCount();
    }
    void TearDown() override
    {
        for (auto& t : registered_)
            WebResUnregister(t.data(), (int)t.size());
        EXPECT_EQ(WebResCount(), baseline_);
    }
    int reg(const std::vector<WebResEntry>& t)
    {
        registered_.push_back(t);
        return WebResRegister(t.data(), (int)t.size());
    }
    std::string log() const { return root_.read("/mnt/nand/cgi_log.txt"); }
    ScratchRoot root_;
    int baseline_ = 0;
    std::vector<std::vector<WebResEntry>> registered_;
};

TEST_F(Registry, HoldsAtMost511AllOrNothing)
{
    ASSERT_GE(421 - baseline_, 1);
    ASSERT_EQ(reg(table("a", 421 - baseline_)), 0);
    auto refused = table("b", 91), accepted = table("c", 90);  // 421 + 91 = 512
    EXPECT_EQ(reg(refused), -1);
    EXPECT_EQ(WebResCount(), 421);
    for (const WebResEntry& e : refused)
        EXPECT_EQ(FindWebRes(e.path), nullptr) << e.path;
    EXPECT_EQ(log().substr(log().find("  ")), "  dispatchreq:62 in : [tarn debug] WEBREQ exceeded maximum value("
                                              "MAX_WEBREQ_COUNT)\n");
    EXPECT_EQ(reg(accepted), 0);
    EXPECT_EQ(WebResCount(), 511);
    for (const WebResEntry& e : accepted)
        EXPECT_NE(FindWebRes(e.path), nullptr) << e.path;
    EXPECT_EQ(reg(table("d", 1)), -1);

    // Empty or missing tables: refused without a log line.
    auto t = table("e", 3);
    EXPECT_EQ(WebResRegister(t.data(), 0), -1);
    EXPECT_EQ(WebResRegister(nullptr, 3), -1);
    EXPECT_EQ(WebResUnregister(t.data(), 0), -1);
    EXPECT_EQ(WebResUnregister(nullptr, 1), -1);
    EXPECT_EQ(WebResUnregister(t.data(), 3), 0);  // none of it registered: fine
    EXPECT_EQ(WebResCount(), 511);
    const std::string text = log();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST_F(Registry, LowestFreeSlotsAreReused)
{
    auto a = table("a", 3), b = table("b", 3), c = table("c", 4, handler_b);
    ASSERT_EQ(reg(a), 0);
    ASSERT_EQ(reg(b), 0);
    const WebResEntry* slots[] = {FindWebRes(a[0].path), FindWebRes(a[1].path), FindWebRes(a[2].path),
                                  FindWebRes(b[0].path)};
    EXPECT_TRUE(slots[0] < slots[1] && slots[1] < slots[2] && slots[2] < slots[3]);  // filled in table order
    ASSERT_EQ(WebResUnregister(a.data(), 3), 0);
    EXPECT_EQ(FindWebRes(a[0].path), nullptr);
    ASSERT_EQ(reg(c), 0);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(FindWebRes(c[(size_t)i].path), slots[i]);
    EXPECT_GT(FindWebRes(c[3].path), slots[3]);
    EXPECT_EQ(FindWebRes(b[0].path), slots[3]);
}

TEST_F(Registry, PathsMatchExactlyAndTheLowerDuplicateWins)
{
    ASSERT_EQ(reg(table("/6100", 0)), 0);
    ASSERT_EQ(reg(table("/json", 0, handler_b)), 0);
    ASSERT_EQ(reg(table("/json", 0)), 0);
    for (const char* other : {"/6100 ", "/6100/", "/610", "/61000", "6100", " /6100", "/JSON", "/Json", (const char*)nullptr}) {
        EXPECT_EQ(FindWebRes(other), nullptr) << (other ? other : "null");
        DispatchWebReq(other, "x");
    }
    DispatchWebReq("/6100", "{\"a\":1}");
    DispatchWebReq("/json", "");
    EXPECT_EQ(g_calls, (std::vector<std::string>{"A:{\"a\":1}", "B:"}));
    auto json = table("/json", 0);
    ASSERT_EQ(WebResUnregister(json.data(), 1), 0);  // by path: every slot holding it
    EXPECT_EQ(FindWebRes("/json"), nullptr);
}

TEST_F(Registry, ShippedTablesRegisterNoPathTwice)
{
    register_web_modules();
    const int registered = WebResCount() - baseline_;
    std::vector<std::string> paths = {"/json", "/vb.htm", "/oem", "/dw.cgi", "/ipc"};
    for (int n = 0; n <= 9999; n++)
        paths.push_back("/" + std::to_string(10000 + n).substr(1));
    int found = 0;
    for (const std::string& p : paths)
        if (const WebResEntry* e = FindWebRes(p.c_str())) {
            EXPECT_STREQ(e->path, p.c_str());
            EXPECT_NE(e->handler, nullptr) << p;
            found++;
        }
    // A path registered twice, or one outside the module index, counts above the paths found.
    EXPECT_EQ(found, registered);
    EXPECT_LE(registered, 421);
    unregister_web_modules();
}

}  // namespace

// Every shipped path once, each part in consecutive slots in its own order,
// and each module with the number of resources the device has.
TEST(ModuleRegistry, PartsRegisterDistinctPathsModuleByModule)
{
    const std::map<std::string, int> expected = {{"storage", 29}, {"state", 12}, {"video", 109}, {"ipc", 79},
        {"record", 10}, {"playback", 33}, {"ptz", 21}, {"system", 63}, {"aging", 5}, {"network", 39}, {"alarm", 18}};
    std::map<std::string, int> counts;
    std::set<std::string> paths;
    register_web_modules();
    for (const WebModulePart* const* p = web_module_parts(); *p; p++) {
        const WebModulePart& part = **p;
        counts[part.module] += part.resource_count;
        const WebResEntry* first = FindWebRes(part.resources[0].path);
        ASSERT_NE(first, nullptr) << part.module;
        for (int i = 0; i < part.resource_count; i++) {
            const WebResEntry& e = part.resources[i];
            EXPECT_TRUE(paths.insert(e.path).second) << e.path << " registered twice";
            EXPECT_EQ(FindWebRes(e.path), first + i) << e.path;
            EXPECT_NE(e.handler, nullptr) << e.path;
            EXPECT_TRUE(e.help && *e.help) << e.path;
        }
        for (int i = 0; i < part.response_count; i++)
            EXPECT_NE(part.responses[i].handler, nullptr) << part.module << " " << part.responses[i].code;
    }
    EXPECT_EQ(WebResCount(), (int)paths.size());
    unregister_web_modules();
    // Parts follow the device's module order, a module's parts together.
    const std::vector<std::string> order = {"storage", "state", "video", "ipc", "record", "playback",
                                            "ptz", "system", "aging", "network", "alarm"};
    size_t at = 0;
    for (const WebModulePart* const* p = web_module_parts(); *p; p++) {
        const auto it = std::find(order.begin() + (long)at, order.end(), (*p)->module);
        ASSERT_NE(it, order.end()) << (*p)->module << " out of order";
        at = (size_t)(it - order.begin());
    }
    EXPECT_EQ(WebResCount(), 0);
    for (const auto& [module, count] : expected)
        EXPECT_EQ(counts[module], count) << module;
}

// What a developer gets from a shell: every registered resource once, with
// its module, method and help, in registration order.
TEST(ModuleRegistry, ListFromAShell)
{
    std::string command = "env -u REQUEST_METHOD";
    for (const std::string& word : program_argv("nvrweb.cgi"))
        command += " '" + word + "'";
    FILE* pipe = popen((command + " --list").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char line[512];
    while (fgets(line, sizeof line, pipe))
        lines.push_back(line);
    ASSERT_EQ(pclose(pipe), 0);
    register_web_modules();
    const int registered = WebResCount();
    std::vector<std::string> want;
    for (const WebModulePart* const* p = web_module_parts(); *p; p++)
        for (int i = 0; i < (*p)->resource_count; i++) {
            const WebResEntry& e = (*p)->resources[i];
            const char* method = strcmp(e.path, "/1008") == 0 ? "POST multipart" : nullptr;
            std::string row = std::string(e.path) + "\t" + (*p)->module + "\t";
            if (method) {
                EXPECT_EQ(lines.at(want.size()), row + method + "\t" + e.help + "\n");
            }
            want.push_back(row);
        }
    unregister_web_modules();
    ASSERT_EQ((int)lines.size(), registered);
    std::set<std::string> distinct;
    for (size_t i = 0; i < lines.size(); i++) {
        EXPECT_EQ(lines[i].compare(0, want[i].size(), want[i]), 0) << lines[i];
        distinct.insert(lines[i].substr(0, lines[i].find('\t')));
    }
    EXPECT_EQ(distinct.size(), lines.size());
}
