// The CGI entry through the real process: routing, GET/POST intake cuts, multipart failure, uploads.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frontend/cgi_env.h"
#include "tests/support/handler_test.h"

namespace {

std::string letters(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; i++)
        s += (char)('A' + i % 26);
    return s;
}

const std::string kB = "----NvrWebBoundary7x";

// One part; `filename` goes in as it stands (quotes included), none when empty.
std::string form(const std::string& field, const std::string& filename, const std::string& data, bool close = true)
{
    std::string s = "--" + kB + "\r\nContent-Disposition: form-data; name=\"" + field + "\"";
    s += (filename.empty() ? "" : "; filename=" + filename) + "\r\nContent-Type: application/octet-stream\r\n\r\n";
    return s + data + "\r\n" + (close ? "--" + kB + "--\r\n" : "");
}
std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// A request to the test entry, which has the test-only resources too.
CgiRequest request(const std::string& method, const std::string& path, const std::string& query,
                   const std::string& body, const std::string& type)
{
    CgiRequest r;
    r.method = method;
    r.path = path;
    r.query = query;
    r.body = body;
    r.content_type = type;
    r.test_entry = true;
    return r;
}

class Entry : public ::testing::Test {
protected:
    CgiResult run(const std::string& method, const std::string& path, const std::string& query,
                  const std::string& body, const std::string& type, const std::string& echo = "")
    {
        CgiRequest r = request(method, path, query, body, type);
        if (!echo.empty())
            r.env.push_back({"NVRWEB_TEST_ECHO_PATHS", echo});
        CgiResult res = run_cgi(root_.path(), r);
        EXPECT_EQ(res.status, 0) << res.out;
        return res;
    }
    std::string upload(const std::string& path, const std::string& query, const std::string& body,
                       const std::string& echo = "")
    {
        return run("POST", path, query, body, "multipart/form-data; boundary=" + kB, echo).out;
    }
    // The upload echo's answer: argument string, the file's mode and size, unread body bytes.
    std::string echo(const std::string& arg, const std::string& file, size_t unread = 0)
    {
        return kTextHead + "[" + arg + "]\nfile=" + file + "\nstdin=" + std::to_string(unread);
    }
    ScratchRoot root_;
};

TEST_F(Entry, RoutingByMethodContentTypeAndPath)
{
    const struct {
        const char *method, *path, *type;
        bool answered;
    } rows[] = {
        {"gEt", "/techo", "", true}, {"pOsT", "/techo", "application/json; charset=UTF-8", true},
        {"POST", "/techo", "APPLICATION/JSON", true}, {"POST", "/techo", "application/json;charset=utf-8", true},
        {"POST", "/techo", "Application/X-WWW-Form-Urlencoded; charset=UTF-8", true},
        {"POST", "/techo", "text/plain", false}, {"POST", "/techo", "application/jsonx", false},
        {"POST", "/techo", "", false}, {"POST", "/techo", "multipart/mixed; boundary=x", false},
        {"PUT", "/techo", "application/json", false}, {"GETX", "/techo", "", false}, {"", "/techo", "", false},
        {"GET", "/nothing", "", false}, {"GET", "/techo/", "", false}, {"POST", "/TECHO", "application/json", false},
        {"GET", "", "", false},
    };
    for (const auto& r : rows) {
        bool get = strcasecmp(r.method, "GET") == 0;
        EXPECT_EQ(run(r.method, r.path, get ? "{%22a%22:1}" : "", get ? "" : "{\"a\":1}", r.type).out,
                  r.answered ? kTextHead + "[{\"a\":1}]" : "")
            << r.method << " " << r.path << " " << r.type;
    }
    CgiRequest shipped = request("GET", "/nothing", "", "", "");
    shipped.test_entry = false;  // the shipped program prints nothing either
    CgiResult res = run_cgi(root_.path(), shipped);
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, "");
}

TEST_F(Entry, GetAndPostIntakeCuts)
{
    std::string lines, first128, long_lines;
    for (int i = 0; i < 200; i++)
        (i < 128 ? first128 : lines) += "line" + std::to_string(i) + "\n";
    for (int i = 0; i < 40; i++)
        long_lines += std::string(999, (char)('A' + i % 26)) + "\n";
    const std::string a253(253, 'a');
    const struct {
        const char* method;
        std::string in, seen;
    } rows[] = {
        // GET decodes "%22" alone, after the 255-character cut; POST keeps 128 lines and 30719 characters.
        {"GET", "{%22channel%22:1}", "{\"channel\":1}"}, {"GET", "a%20b+c%2522", "a%20b+c%2522"},
        {"GET", "%%22%2", "%\"%2"}, {"GET", "", ""}, {"GET", letters(300), letters(255)},
        {"GET", a253 + "%22tail", a253 + "%2"}, {"POST", first128 + lines, first128},
        {"POST", letters(40000), letters(30719)}, {"POST", long_lines, long_lines.substr(0, 30719)},
    };
    for (const auto& r : rows) {
        bool get = std::string(r.method) == "GET";
        EXPECT_EQ(run(r.method, "/techo", get ? r.in : "", get ? "" : r.in, get ? "" : "application/json").out,
                  kTextHead + "[" + r.seen + "]")
            << r.in.substr(0, 40);
    }
    CgiRequest r = request("POST", "/techo", "", "abcdef", "application/json");
    r.content_length = "3";  // CONTENT_LENGTH is not what bounds a POST
    EXPECT_EQ(run_cgi(root_.path(), r).out, kTextHead + "[abcdef]");
}

TEST_F(Entry, MultipartCutShortGivesNoOutputAndNoTemporaryFile)
{
    std::string cut = form("first", quoted("a.bin"), "complete part", false) + form("file", quoted("b.bin"), "", false);
    cut = cut.substr(0, cut.size() - 2) + "this part never ends";
    CgiResult res = run_cgi(root_.path(), request("POST", "/tup", "", cut, "multipart/form-data; boundary=" + kB));
    EXPECT_EQ(res.out, "");
    EXPECT_NE(res.status, 0);
    EXPECT_EQ(root_.list("/tmp"), "");
}

TEST_F(Entry, PathsThatTakeNoFile)
{
    // The firmware path leaves the body unread, even one that would not parse; signal paths need no file field.
    std::string body = form("file", quoted("fw.bin"), std::string(5000, 'F'), false) + "--" + kB + "\r\ncut";
    EXPECT_EQ(upload("/1010", "ver=2", body, "/1010"), echo("temp & ver=2", "none", body.size()));
    for (const char* path : {"/6082", "/2079"})
        EXPECT_EQ(upload(path, "chn=3&x=1", form("note", "", "hello"), path), echo("temp & chn=3&x=1", "none"));
    EXPECT_EQ(root_.list("/tmp"), "");
}

TEST_F(Entry, UploadMovedToClientBaseNameWithParam)
{
    const std::string data = std::string("cfg\0\r\n--bytes", 13), p = root_.at("/tmp/cfg.bin");
    const std::pair<std::string, std::string> rows[] = {
        {"param:abc&x=1", p + " & abc"}, {"x=1&y=2", p}, {"x=1&param:", p + " & "}, {"param:a&param:b", p + " & a"},
        {"a=b&param:last", p + " & last"}, {"param:" + letters(300), p + " & " + letters(255)}};
    for (const auto& [query, arg] : rows) {
        EXPECT_EQ(upload("/tup", query, form("file", quoted("C:\\fw\\cfg.bin"), data)), echo(arg, "600:13")) << query;
        EXPECT_EQ(root_.list("/tmp"), "cfg.bin");
        EXPECT_TRUE(same_bytes(root_.read("/tmp/cfg.bin"), data));
    }
}

// A file part streams to its file: the process stays far smaller than the
// body (the bound leaves room for the sanitizers' own memory).
TEST_F(Entry, HundredMebibyteFilePartInBoundedMemory)
{
    std::string data(100u << 20, '\0');
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (char)((i * 2654435761u) >> 13);
    CgiRequest r = request("POST", "/tup", "x=1", form("file", quoted("big.bin"), data),
                           "multipart/form-data; boundary=" + kB);
    r.env.push_back({"NVRWEB_TEST_ECHO_PEAK", "1"});
    const std::string out = run_cgi(root_.path(), r).out;
    const std::string head = echo(root_.at("/tmp/big.bin"), "600:" + std::to_string(data.size())) + "\npeak_kib=";
    ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
    EXPECT_LT(atol(out.c_str() + head.size()), 40 * 1024) << out;
    EXPECT_TRUE(root_.read("/tmp/big.bin") == data);
}

TEST_F(Entry, TemporaryFilePathsKeepTheirFile)
{
    for (const char* path : {"/oem", "/1019"}) {
        std::string out = upload(path, "k=v", form("file", quoted("C:\\oem\\pack.tgz"), "OEMDATA"), path);
        const std::string prefix = kTextHead + "[" + root_.at("/tmp/cgic");
        ASSERT_EQ(out.compare(0, prefix.size(), prefix), 0) << out;
        EXPECT_EQ(out.substr(prefix.size() + 6), " & k=v]\nfile=600:7\nstdin=0");
        EXPECT_EQ(root_.list("/tmp"), "");  // removed at the end, not moved
    }
}

// The move must not go through a shell: each name ends up as one plain file in the root's /tmp.
TEST_F(Entry, HostileClientNamesBecomeOnePlainFile)
{
    const std::pair<std::string, std::string> rows[] = {
        {"a\"b.txt", "a\"b.txt"}, {quoted("`touch pwned`.txt"), "`touch pwned`.txt"},
        {quoted("$(touch pwned)"), "$(touch pwned)"},
        {quoted("x$(touch${IFS}pwned)y;touch pwned"), "x$(touch${IFS}pwned)y;touch pwned"}, {quoted("../x"), "x"},
        {quoted("..\\..\\y"), "y"}, {quoted("/etc/passwd"), "passwd"},
        {quoted("dir/sub\\\\name with space"), "name with space"}, {quoted("'quoted' &more|<>"), "'quoted' &more|<>"}};
    const std::string top = root_.list("/");
    for (const auto& [sent, base] : rows) {
        const std::string file = root_.at("/tmp/" + base);
        EXPECT_EQ(upload("/tup", "", form("file", sent, "payload")), echo(file, "600:7")) << sent;
        EXPECT_EQ(root_.list("/tmp"), base);  // and nothing else, anywhere
        EXPECT_EQ(root_.list("/"), top);
        struct stat st;
        EXPECT_TRUE(lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) << sent;
        EXPECT_EQ(root_.read("/tmp/" + base), "payload");
        unlink(file.c_str());
        EXPECT_NE(access("pwned", F_OK), 0);
    }
}

TEST_F(Entry, UnusableOrMissingFilesAreRefused)
{
    std::vector<std::string> bodies = {form("other", quoted("o.bin"), "x"), form("file", "", "x"),
                                       form("file", quoted(std::string(128, 'n')), "x")};
    for (const char* name : {".", "..", "", "dir/", "C:\\dir\\..", "a/.", "x\\"})
        bodies.push_back(form("file", quoted(name), "payload"));
    for (const std::string& body : bodies) {
        EXPECT_EQ(upload("/tup", "param:p", body), "") << body;
        EXPECT_EQ(root_.list("/tmp"), "");
    }
    const std::string name127(127, 'n');
    EXPECT_EQ(upload("/tup", "", form("file", quoted(name127), "x")), echo(root_.at("/tmp/" + name127), "600:1"));
}

// The start-up cut of the content type and the boundary search, in-process.
TEST(EntryStartup, ContentTypeBoundaryAndLength)
{
    const std::string long_type(1500, 't'), cut_type(1023, 't');
    const struct {
        const char *type, *bare, *boundary, *length;
        int content_length;
    } rows[] = {
        {"multipart/form-data; BOUNDARY=abc def", "multipart/form-data", "abc", "123", 123},
        {"multipart/form-data; boundary=----x", "multipart/form-data", "----x", "", 0},
        {"multipart/form-data;charset=x;  boundary=b1;z=2 y", "multipart/form-data", "b1;z=2", "abc", 0},
        {"application/json; charset=UTF-8", "application/json", "", "-5", 0},
        {"text/plain", "text/plain", "", nullptr, 0},
        {nullptr, "", "", "0", 0},
        {long_type.c_str(), cut_type.c_str(), "", "7", 7},
    };
    for (const auto& r : rows) {
        r.type ? setenv("CONTENT_TYPE", r.type, 1) : unsetenv("CONTENT_TYPE");
        r.length ? setenv("CONTENT_LENGTH", r.length, 1) : unsetenv("CONTENT_LENGTH");
        cgi_startup();
        EXPECT_STREQ(cgiContentType, r.bare);
        EXPECT_STREQ(cgiMultipartBoundary, r.boundary);
        EXPECT_EQ(cgiContentLength, r.content_length) << (r.length ? r.length : "unset");
    }
    unsetenv("CONTENT_TYPE");
    unsetenv("CONTENT_LENGTH");
    cgi_startup();
}

}  // namespace
