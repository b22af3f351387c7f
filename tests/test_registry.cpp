// The web resource registry in-process: capacity, all-or-nothing, slot reuse, exact match, shipped tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "frontend/dispatchreq.h"
#include "frontend/modules.h"
#include "tests/support/scratch.h"

namespace {

std::vector<std::string> g_calls;

int handler_a(const char* request)
{
    g_calls.push_back(std::string("A:") + (request ? request : "(null)"));
    return 0;
}

int handler_b(const char* request)
{
    g_calls.push_back(std::string("B:") + (request ? request : "(null)"));
    return 0;
}

// A table of n entries "/<prefix><number>".
std::vector<WebResEntry> make_table(const char* prefix, int n, WebResHandler handler = handler_a)
{
    std::vector<WebResEntry> t((size_t)n);
    for (int i = 0; i < n; i++) {
        snprintf(t[(size_t)i].path, sizeof t[(size_t)i].path, "/%s%04d", prefix, i % 10000);
        t[(size_t)i].handler = handler;
        t[(size_t)i].help = "test";
    }
    return t;
}

WebResEntry entry(const char* path, WebResHandler handler)
{
    WebResEntry e{};
    snprintf(e.path, sizeof e.path, "%s", path);
    e.handler = handler;
    e.help = "test";
    return e;
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
    int reg(const std::vector<WebResEntry>& table)
    {
        registered_.push_back(table);
        return WebResRegister(table.data(), (int)table.size());
    }
    std::string log() const { return root_.read("/mnt/nand/cgi_log.txt"); }

    ScratchRoot root_;
    int baseline_ = 0;
    std::vector<std::vector<WebResEntry>> registered_;
};

TEST_F(Registry, HoldsAtMost511)
{
    const int fill = 421 - baseline_;
    ASSERT_GE(fill, 1);
    ASSERT_EQ(reg(make_table("a", fill)), 0);
    EXPECT_EQ(WebResCount(), 421);
    EXPECT_FALSE(root_.exists("/mnt/nand/cgi_log.txt"));

    // 421 + 91 = 512: refused whole, with one debug-log line.
    auto refused = make_table("b", 91);
    EXPECT_EQ(reg(refused), -1);
    EXPECT_EQ(WebResCount(), 421);
    for (const WebResEntry& e : refused)
        EXPECT_EQ(FindWebRes(e.path), nullptr) << e.path;
    const std::string text = log();
    EXPECT_NE(text.find("  dispatchreq:62 in : [tarn debug] WEBREQ exceeded maximum value(MAX_WEBREQ_COUNT)\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);

    auto accepted = make_table("c", 90);
    EXPECT_EQ(reg(accepted), 0);
    EXPECT_EQ(WebResCount(), 511);
    for (const WebResEntry& e : accepted)
        EXPECT_NE(FindWebRes(e.path), nullptr) << e.path;

    // Not even one more.
    EXPECT_EQ(reg(make_table("d", 1)), -1);
    EXPECT_EQ(WebResCount(), 511);
    const std::string text2 = log();
    EXPECT_EQ(std::count(text2.begin(), text2.end(), '\n'), 2);
}

TEST_F(Registry, EmptyOrMissingTablesRefusedWithoutLog)
{
    auto t = make_table("e", 3);
    EXPECT_EQ(WebResRegister(t.data(), 0), -1);
    EXPECT_EQ(WebResRegister(t.data(), -1), -1);
    EXPECT_EQ(WebResRegister(nullptr, 3), -1);
    EXPECT_EQ(WebResCount(), baseline_);
    EXPECT_FALSE(root_.exists("/mnt/nand/cgi_log.txt"));
    EXPECT_EQ(WebResUnregister(t.data(), 0), -1);
    EXPECT_EQ(WebResUnregister(nullptr, 1), -1);
    EXPECT_EQ(WebResUnregister(t.data(), 3), 0);  // nothing of it registered: fine
    EXPECT_EQ(WebResCount(), baseline_);
}

TEST_F(Registry, LowestFreeSlotsAreReused)
{
    auto a = make_table("a", 3);
    auto b = make_table("b", 3);
    ASSERT_EQ(reg(a), 0);
    ASSERT_EQ(reg(b), 0);
    std::vector<const WebResEntry*> a_slots;
    for (const WebResEntry& e : a)
        a_slots.push_back(FindWebRes(e.path));
    const WebResEntry* b_first = FindWebRes(b[0].path);
    // Slots are filled in table order.
    EXPECT_LT(a_slots[0], a_slots[1]);
    EXPECT_LT(a_slots[2], b_first);

    ASSERT_EQ(WebResUnregister(a.data(), (int)a.size()), 0);
    EXPECT_EQ(WebResCount(), baseline_ + 3);
    for (const WebResEntry& e : a)
        EXPECT_EQ(FindWebRes(e.path), nullptr);

    auto c = make_table("c", 4, handler_b);
    ASSERT_EQ(reg(c), 0);
    EXPECT_EQ(FindWebRes(c[0].path), a_slots[0]);
    EXPECT_EQ(FindWebRes(c[1].path), a_slots[1]);
    EXPECT_EQ(FindWebRes(c[2].path), a_slots[2]);
    EXPECT_GT(FindWebRes(c[3].path), b_first);  // the fourth goes after b
    EXPECT_EQ(FindWebRes(b[0].path), b_first);  // b untouched
    EXPECT_EQ(WebResCount(), baseline_ + 7);
}

TEST_F(Registry, PathsMatchExactly)
{
    ASSERT_EQ(reg({entry("/6100", handler_a), entry("/json", handler_b)}), 0);
    const WebResEntry* found = FindWebRes("/6100");
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->path, "/6100");
    EXPECT_EQ(found->handler, handler_a);

    for (const char* other : {"/6100 ", "/6100/", "/610", "/61000", "6100", "/6101", " /6100", "/JSON",
                              "/Json", "/json "}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(FindWebRes(other), nullptr);
        DispatchWebReq(other, "x");
    }
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(FindWebRes(nullptr), nullptr);
    DispatchWebReq(nullptr, "x");
    EXPECT_TRUE(g_calls.empty());

    DispatchWebReq("/6100", "{\"a\":1}");
    DispatchWebReq("/json", "");
    EXPECT_EQ(g_calls, (std::vector<std::string>{"A:{\"a\":1}", "B:"}));
}

TEST_F(Registry, DuplicatesDispatchTheLowerSlot)
{
    ASSERT_EQ(reg({entry("/pad", handler_a)}), 0);
    ASSERT_EQ(reg({entry("/dup", handler_b)}), 0);
    ASSERT_EQ(reg({entry("/dup", handler_a)}), 0);
    EXPECT_EQ(WebResCount(), baseline_ + 3);
    DispatchWebReq("/dup", "1");
    EXPECT_EQ(g_calls, (std::vector<std::string>{"B:1"}));

    // A later duplicate in a freed lower slot wins.
    WebResEntry pad = entry("/pad", handler_a);
    ASSERT_EQ(WebResUnregister(&pad, 1), 0);
    ASSERT_EQ(reg({entry("/dup", handler_a)}), 0);
    g_calls.clear();
    DispatchWebReq("/dup", "2");
    EXPECT_EQ(g_calls, (std::vector<std::string>{"A:2"}));

    // Unregistering by path frees every slot holding it.
    WebResEntry dup = entry("/dup", handler_b);
    ASSERT_EQ(WebResUnregister(&dup, 1), 0);
    EXPECT_EQ(FindWebRes("/dup"), nullptr);
    EXPECT_EQ(WebResCount(), baseline_);
}

// Every path of the module index, as far as the shipped tables give them.
std::vector<std::string> candidate_paths()
{
    std::vector<std::string> out;
    char path[8];
    for (int n = 0; n <= 9999; n++) {
        snprintf(path, sizeof path, "/%04d", n);
        out.push_back(path);
    }
    for (const char* named : {"/json", "/vb.htm", "/oem", "/dw.cgi", "/ipc"})
        out.push_back(named);
    return out;
}

TEST_F(Registry, ShippedTablesRegisterNoPathTwice)
{
    register_web_modules();
    const int registered = WebResCount() - baseline_;
    std::set<std::string> found;
    for (const std::string& p : candidate_paths()) {
        const WebResEntry* e = FindWebRes(p.c_str());
        if (!e)
            continue;
        EXPECT_STREQ(e->path, p.c_str());
        EXPECT_NE(e->handler, nullptr) << p;
        found.insert(p);
    }
    // A path registered twice, or one outside the module index, shows as a
    // count above the distinct paths found.
    EXPECT_EQ((int)found.size(), registered);
    EXPECT_LE(registered, 421);
    unregister_web_modules();
    EXPECT_EQ(WebResCount(), baseline_);
}

}  // namespace
