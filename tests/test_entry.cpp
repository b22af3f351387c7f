// The CGI entry through the real process: routing, GET/POST intake cuts, multipart failure, uploads.
#include <chrono>
#include <csignal>
#include <strings.h>
#include <sys/resource.h>
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
    // The path's shipped handler is replaced by the upload echo.
    std::string upload(const std::string& path, const std::string& query, const std::string& body)
    {
        return run("POST", path, query, body, "multipart/form-data; boundary=" + kB, path).out;
    }
    // The upload echo's answer: argument string, the file's mode and size, unread body bytes,
    // what the upload check gives ("refused", or the mapped path and the text after " & ").
    std::string echo(const std::string& arg, const std::string& file, size_t unread = 0,
                     const std::string& checked = "refused")
    {
        return kTextHead + "[" + arg + "]\nfile=" + file + "\nstdin=" + std::to_string(unread) + "\nupload=" + checked;
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
    EXPECT_EQ(upload("/1010", "ver=2", body), echo("temp & ver=2", "none", body.size()));
    for (const char* path : {"/6082", "/2079"})
        EXPECT_EQ(upload(path, "chn=3&x=1", form("note", "", "hello")), echo("temp & chn=3&x=1", "none"));
    EXPECT_EQ(root_.list("/tmp"), "");
}

TEST_F(Entry, UploadMovedToClientBaseNameWithParam)
{
    const std::string data = std::string("cfg\0\r\n--bytes", 13), p = "/tmp/cfg.bin", at = root_.at(p);
    const std::pair<std::string, std::string> rows[] = {
        {"param:abc&x=1", "abc"}, {"x=1&y=2", ""}, {"x=1&param:", ""}, {"param:a&param:b", "a"},
        {"a=b&param:last", "last"}, {"param:" + letters(300), letters(255)}};
    for (const auto& [query, param] : rows) {
        const std::string arg = p + (query.find("param:") == std::string::npos ? "" : " & " + param);
        EXPECT_EQ(upload("/1008", query, form("file", quoted("C:\\fw\\cfg.bin"), data)),
                  echo(arg, "600:13", 0, at + " | " + param))
            << query;
        EXPECT_EQ(root_.list("/tmp"), "cfg.bin");
        EXPECT_TRUE(same_bytes(root_.read("/tmp/cfg.bin"), data));
        unlink(at.c_str());
    }
}

// A file part streams to its file: the process stays far smaller than the
// body (the bound leaves room for the sanitizers' own memory).
TEST_F(Entry, HundredMebibyteFilePartInBoundedMemory)
{
    std::string data(100u << 20, '\0');
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (char)((i * 2654435761u) >> 13);
    CgiRequest r = request("POST", "/7084", "x=1", form("file", quoted("big.bin"), data),
                           "multipart/form-data; boundary=" + kB);
    r.env.push_back({"NVRWEB_TEST_ECHO_PEAK", "1"});
    r.env.push_back({"NVRWEB_TEST_ECHO_PATHS", "/7084"});
    const std::string out = run_cgi(root_.path(), r).out;
    const std::string head =
        echo("/tmp/big.bin", "600:" + std::to_string(data.size()), 0, root_.at("/tmp/big.bin") + " | ") +
        "\npeak_kib=";
    ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
    EXPECT_LT(atol(out.c_str() + head.size()), 40 * 1024) << out;
    EXPECT_TRUE(root_.read("/tmp/big.bin") == data);
}

TEST_F(Entry, TemporaryFilePathsKeepTheirFile)
{
    for (const char* path : {"/oem", "/1019"}) {
        std::string out = upload(path, "k=v", form("file", quoted("C:\\oem\\pack.tgz"), "OEMDATA"));
        const std::string prefix = kTextHead + "[/tmp/cgic";
        ASSERT_EQ(out.compare(0, prefix.size(), prefix), 0) << out;
        const std::string name = out.substr(prefix.size() - 9, 15);
        EXPECT_EQ(out.substr(prefix.size() + 6), " & k=v]\nfile=600:7\nstdin=0\nupload=" + root_.at(name) + " | k=v");
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
        EXPECT_EQ(upload("/6321", "", form("file", sent, "payload")), echo("/tmp/" + base, "600:7", 0, file + " | "))
            << sent;
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
        EXPECT_EQ(upload("/1008", "param:p", body), "") << body;
        EXPECT_EQ(root_.list("/tmp"), "");
    }
    const std::string name127(127, 'n');
    EXPECT_EQ(upload("/1008", "", form("file", quoted(name127), "x")),
              echo("/tmp/" + name127, "600:1", 0, root_.at("/tmp/" + name127) + " | "));
}

// Only the upload resources get the file under its client name, never over an
// existing file nor under a name the device uses; elsewhere it is gone before
// the handler runs. A refused upload reaches its handler as an empty text.
TEST_F(Entry, UploadsLandOnlyWhereAHandlerTakesThem)
{
    const std::string db = "/mnt/nand/app/vxdb.db";
    root_.write(db, "database bytes");
    const struct {
        const char *path, *name, *existing;
        bool moved;
    } rows[] = {
        {"/tup", "cfg.bin", nullptr, false},      {"/1008", "pbdownload", nullptr, false},
        {"/1008", "vxcore", nullptr, false},      {"/6321", ".x", nullptr, false},
        {"/7084", ".export_down_file", nullptr, false}, {"/1008", "keep.bin", "old", false},
        {"/6321", "vxdb.db", "link", false},      {"/6321", "a.wav", nullptr, true},
        {"/7084", "cert.pem", nullptr, true},
    };
    for (const auto& r : rows) {
        const std::string file = "/tmp/" + std::string(r.name), at = root_.at(file);
        if (r.existing && std::string(r.existing) == "link")
            ASSERT_EQ(symlink(root_.at(db).c_str(), at.c_str()), 0);
        else if (r.existing)
            root_.write(file, r.existing);
        const std::string out = upload(r.path, "param:p", form("file", quoted(r.name), "payload"));
        const std::string want = r.moved                          ? echo(file + " & p", "600:7", 0, at + " | p")
                                 : std::string(r.path) == "/tup" ? echo(file + " & p", "none")
                                                                 : echo("", "none");
        EXPECT_EQ(out, want) << r.name;
        EXPECT_EQ(root_.list("/tmp"), r.moved || r.existing ? r.name : "") << r.name;
        if (r.existing && std::string(r.existing) != "link") {
            EXPECT_EQ(root_.read(file), r.existing);
        }
        unlink(at.c_str());
    }
    EXPECT_EQ(root_.read(db), "database bytes");
}

// The body limit (lowered for the test) and the part bound end quickly with no
// file left: over the limit the handler gets its refusal, too many parts are
// a malformed body (no answer).
TEST_F(Entry, BodyLimitAndPartBound)
{
    std::string many, thousand;
    for (int i = 0; i < 40000; i++)
        many += "--" + kB + "\r\nContent-Disposition: form-data; name=\"p\"\r\n\r\nx\r\n";
    for (int i = 0; i < 999; i++)
        thousand += "--" + kB + "\r\nContent-Disposition: form-data; name=\"p\"\r\n\r\nx\r\n";
    const std::string small = form("file", quoted("s.bin"), std::string(500, 'S'));
    const std::string big = form("file", quoted("b.bin"), std::string(5000, 'B'));
    const struct {
        const char* path;
        std::string body, out;
    } rows[] = {
        {"/1008", small, echo("/tmp/s.bin", "600:500", 0, root_.at("/tmp/s.bin") + " | ")},
        {"/1008", big, echo("", "none", big.size())},
        {"/tup", big, echo("", "none", big.size())},
        {"/6082", big, echo("temp & ", "none", big.size())},
        {"/1008", thousand + small, echo("/tmp/s.bin", "600:500", 0, root_.at("/tmp/s.bin") + " | ")},
        {"/1008", many + small, ""},
    };
    for (const auto& r : rows) {
        CgiRequest req = request("POST", r.path, "", r.body, "multipart/form-data; boundary=" + kB);
        req.env.push_back({"NVRWEB_TEST_ECHO_PATHS", r.path});
        req.env.push_back({"NVRWEB_TEST_UPLOAD_MAX", r.body.size() > 10000 ? "4000000" : "2000"});
        const auto start = std::chrono::steady_clock::now();
        CgiResult res = run_cgi(root_.path(), req);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(res.out, r.out) << r.path << " " << r.body.size();
        EXPECT_EQ(res.status != 0, r.out.empty());
        EXPECT_LT(seconds, 1.0) << r.body.size();
        unlink(root_.at("/tmp/s.bin").c_str());
        EXPECT_EQ(root_.list("/tmp"), "");
    }
    // A full disk, played by a file size limit that the CGI inherits.
    struct rlimit old, fsize;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    fsize = {4096, old.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &fsize);
    CgiRequest req = request("POST", "/1008", "", big, "multipart/form-data; boundary=" + kB);
    req.env.push_back({"NVRWEB_TEST_ECHO_PATHS", "/1008"});
    const std::string out = run_cgi(root_.path(), req).out;
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(out, echo("", "none"));
    EXPECT_EQ(root_.list("/tmp"), "");
}

// A path in a JSON or GET text is no upload, whatever it names.
TEST_F(Entry, PathTextOutsideTheUploadIntakeIsRefused)
{
    root_.write("/mnt/nand/app/vxdb.db", "database bytes");
    root_.write("/tmp/cfg.bin", "cfg");
    for (const char* text : {"/mnt/nand/app/vxdb.db", "/tmp/../mnt/nand/app/vxdb.db & x", "/tmp/cfg.bin & p"}) {
        for (const char* method : {"POST", "GET"}) {
            const bool get = method[0] == 'G';
            const std::string out = run(method, "/1008", get ? text : "", get ? "" : text, "application/json", "/1008").out;
            EXPECT_EQ(out.substr(out.rfind('\n')), "\nupload=refused") << method << " " << text;
        }
    }
    EXPECT_EQ(root_.read("/mnt/nand/app/vxdb.db"), "database bytes");
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
