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

// The device's module index: each module's paths and how many it has.
struct IndexModule {
    const char* module;
    int count;
    std::vector<std::pair<int, int>> ranges;
    std::vector<std::string> named;
};
const std::vector<IndexModule> kModuleIndex = {
    {"storage", 29, {{6100, 6109}, {6200, 6210}, {6220, 6227}}, {}},
    {"state", 12, {{8000, 8011}}, {}},
    {"video", 109, {{6000, 6002}, {6010, 6019}, {6090, 6098}, {6112, 6198}, {6996, 6999}}, {}},
    {"ipc", 82, {{2000, 2001}, {2003, 2082}}, {}},
    {"record", 10, {{6030, 6031}, {6040, 6047}}, {}},
    {"playback", 33, {{3000, 3004}, {4000, 4027}}, {}},
    {"ptz", 21, {{5000, 5012}, {6050, 6057}}, {}},
    {"system", 63, {{1000, 1024}, {1030, 1034}, {6070, 6077}, {6080, 6089}, {6300, 6301}, {6310, 6311}, {6320, 6325}},
     {"/json", "/vb.htm", "/oem", "/dw.cgi", "/ipc"}},
    {"aging", 5, {{3300, 3304}}, {}},
    {"network", 39, {{7000, 7001}, {7010, 7011}, {7020, 7021}, {7030, 7034}, {7040, 7044}, {7050, 7051},
                     {7060, 7062}, {7070, 7071}, {7080, 7087}, {7089, 7096}}, {}},
    {"alarm", 18, {{6020, 6029}, {6032, 6034}, {6060, 6064}}, {}},
};
// Counted by the index, in the camera range, but no resource table gives
// their handler, request or reply: they stay unregistered (no response)
// until they are described.
const std::set<std::string> kUndescribed = {"/2001", "/2003", "/2007"};

static bool in_module(const IndexModule& m, const std::string& path)
{
    if (std::find(m.named.begin(), m.named.end(), path) != m.named.end())
        return true;
    const int number = path.size() == 5 ? atoi(path.c_str() + 1) : -1;
    for (const auto& [first, last] : m.ranges)
        if (number >= first && number <= last)
            return true;
    return false;
}

// Every shipped path once, each part in consecutive slots in its own order,
// each path inside its module's ranges, and each module with the number of
// resources the index gives it: 421 in all, less the undescribed three.
TEST(ModuleRegistry, PartsRegisterDistinctPathsModuleByModule)
{
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
    int total = 0;
    for (const IndexModule& m : kModuleIndex) {
        int undescribed = 0;
        for (const std::string& path : kUndescribed)
            undescribed += in_module(m, path);
        EXPECT_EQ(counts[m.module] + undescribed, m.count) << m.module;
        total += m.count;
    }
    EXPECT_EQ(total, 421);
    EXPECT_EQ((int)paths.size() + (int)kUndescribed.size(), 421);
    for (const WebModulePart* const* p = web_module_parts(); *p; p++)
        for (int i = 0; i < (*p)->resource_count; i++) {
            const std::string path = (*p)->resources[i].path;
            const auto m = std::find_if(kModuleIndex.begin(), kModuleIndex.end(),
                                        [&](const IndexModule& x) { return x.module == std::string((*p)->module); });
            ASSERT_NE(m, kModuleIndex.end()) << (*p)->module;
            EXPECT_TRUE(in_module(*m, path)) << path << " outside the " << m->module << " paths";
            EXPECT_EQ(kUndescribed.count(path), 0u) << path;
        }
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
