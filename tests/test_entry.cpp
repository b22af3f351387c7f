// The CGI entry through the real process: routing, GET/POST intake cuts, multipart failure, uploads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "frontend/cgi_env.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/scratch.h"

namespace {

const std::string kText = "Content-type: text/plain\r\n\r\n";

// Every path under a directory, relative to it ("tmp", "tmp/x.bin", ...).
void walk(const std::string& base, const std::string& rel, std::set<std::string>* out)
{
    DIR* d = opendir((base + "/" + rel).c_str());
    if (!d)
        return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        std::string child = rel.empty() ? n : rel + "/" + n;
        out->insert(child);
        struct stat st;
        if (lstat((base + "/" + child).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            walk(base, child, out);
    }
    closedir(d);
}

std::set<std::string> tree(const ScratchRoot& root)
{
    std::set<std::string> out;
    walk(root.path(), "", &out);
    return out;
}

struct FilePart {
    std::string field;
    std::string filename;  // written as given inside the quotes unless raw
    std::string data;
    bool raw_filename = false;  // filename=value without quotes
};

std::string multipart(const std::string& boundary, const std::vector<FilePart>& parts,
                      bool closing = true)
{
    std::string s;
    for (const FilePart& p : parts) {
        s += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + p.field + "\"";
        if (p.raw_filename)
            s += "; filename=" + p.filename;
        else if (!p.filename.empty() || p.field == "file")
            s += "; filename=\"" + p.filename + "\"";
        s += "\r\nContent-Type: application/octet-stream\r\n\r\n" + p.data + "\r\n";
    }
    if (closing)
        s += "--" + boundary + "--\r\n";
    return s;
}

class Entry : public ::testing::Test {
protected:
    CgiResult get(const std::string& path, const std::string& query, const std::string& method = "GET")
    {
        CgiRequest r;
        r.method = method;
        r.path = path;
        r.query = query;
        r.test_entry = true;
        return run_cgi(root_.path(), r);
    }
    CgiResult post(const std::string& path, const std::string& body,
                   const std::string& type = "application/json", const std::string& method = "POST")
    {
        CgiRequest r;
        r.method = method;
        r.path = path;
        r.body = body;
        r.content_type = type;
        r.test_entry = true;
        return run_cgi(root_.path(), r);
    }
    CgiResult upload(const std::string& path, const std::string& query, const std::string& body,
                     const std::string& echo_paths = "")
    {
        CgiRequest r;
        r.method = "POST";
        r.path = path;
        r.query = query;
        r.body = body;
        r.content_type = "multipart/form-data; boundary=" + boundary_;
        r.test_entry = true;
        if (!echo_paths.empty())
            r.env.push_back({"NVRWEB_TEST_ECHO_PATHS", echo_paths});
        return run_cgi(root_.path(), r);
    }
    int temp_files() const
    {
        int n = 0;
        std::string names = root_.list("/tmp");
        for (size_t at = names.find("cgic"); at != std::string::npos; at = names.find("cgic", at + 1))
            n++;
        return n;
    }

    ScratchRoot root_;
    std::string boundary_ = "----NvrWebBoundary7x";
};

TEST_F(Entry, MethodCaseDoesNotMatter)
{
    for (const char* method : {"GET", "get", "Get", "gEt"}) {
        SCOPED_TRACE(method);
        CgiResult r = get("/techo", "a=1", method);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, kText + "[a=1]");
    }
    for (const char* method : {"POST", "post", "Post", "pOsT"}) {
        SCOPED_TRACE(method);
        CgiResult r = post("/techo", "{\"a\":1}", "application/json", method);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, kText + "[{\"a\":1}]");
    }
}

TEST_F(Entry, PostContentTypesRoutedByBareMediaType)
{
    for (const char* type : {"application/json", "application/json; charset=UTF-8", "APPLICATION/JSON",
                             "application/json;charset=utf-8", "application/x-www-form-urlencoded",
                             "Application/X-WWW-Form-Urlencoded; charset=UTF-8"}) {
        SCOPED_TRACE(type);
        CgiResult r = post("/techo", "{\"k\":\"v\"}", type);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, kText + "[{\"k\":\"v\"}]");
    }
}

TEST_F(Entry, UnsupportedContentTypeOrMethodDispatchesNothing)
{
    for (const char* type : {"text/plain", "application/jsonx", "application/json-patch+json", "",
                             "json", "multipart/mixed; boundary=x"}) {
        SCOPED_TRACE(type);
        CgiResult r = post("/techo", "{\"a\":1}", type);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
    }
    for (const char* method : {"PUT", "DELETE", "HEAD", "OPTIONS", "GETX", "POS", ""}) {
        SCOPED_TRACE(method);
        EXPECT_EQ(get("/techo", "a=1", method).out, "");
        EXPECT_EQ(post("/techo", "{}", "application/json", method).out, "");
    }
}

TEST_F(Entry, GetDecodesOnlyQuotes)
{
    struct Row {
        const char* query;
        const char* text;
    };
    const Row rows[] = {
        {"{%22channel%22:1}", "{\"channel\":1}"},
        {"a%20b+c", "a%20b+c"},
        {"%2522", "%2522"},
        {"%%22", "%\""},
        {"%22%22%22", "\"\"\""},
        {"%2", "%2"},
        {"", ""},
        {"%3C%22x%22%3E", "%3C\"x\"%3E"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query);
        EXPECT_EQ(get("/techo", row.query).out, kText + "[" + row.text + "]");
    }
}

TEST_F(Entry, GetQueryCutTo255BeforeDecoding)
{
    std::string q300;
    for (int i = 0; i < 300; i++)
        q300 += (char)('A' + i % 26);
    EXPECT_EQ(get("/techo", q300).out, kText + "[" + q300.substr(0, 255) + "]");
    EXPECT_EQ(get("/techo", q300.substr(0, 255)).out, kText + "[" + q300.substr(0, 255) + "]");
    // A quote escape that the cut splits stays as it is.
    std::string split = std::string(253, 'a') + "%22tail";
    EXPECT_EQ(get("/techo", split).out, kText + "[" + std::string(253, 'a') + "%2]");
}

TEST_F(Entry, PostKeepsFirst128Lines)
{
    std::string body, first128;
    for (int i = 0; i < 200; i++) {
        std::string line = "line" + std::to_string(i) + "\n";
        body += line;
        if (i < 128)
            first128 += line;
    }
    EXPECT_EQ(post("/techo", body).out, kText + "[" + first128 + "]");
}

TEST_F(Entry, PostKeepsFirst30719Characters)
{
    std::string one_line;
    for (int i = 0; i < 40000; i++)
        one_line += (char)('a' + i % 26);
    EXPECT_EQ(post("/techo", one_line).out, kText + "[" + one_line.substr(0, 30719) + "]");

    // Long lines: the cut falls inside the 31st line.
    std::string lines;
    for (int i = 0; i < 40; i++)
        lines += std::string(999, (char)('A' + i % 26)) + "\n";
    EXPECT_EQ(post("/techo", lines).out, kText + "[" + lines.substr(0, 30719) + "]");
}

TEST_F(Entry, PostIgnoresContentLength)
{
    CgiRequest r;
    r.method = "POST";
    r.path = "/techo";
    r.body = "abcdef";
    r.content_length = "3";
    r.content_type = "application/json";
    r.test_entry = true;
    EXPECT_EQ(run_cgi(root_.path(), r).out, kText + "[abcdef]");
}

TEST_F(Entry, UnknownOrEmptyPathGivesNoOutput)
{
    for (const char* path : {"/nothing", "/techo/", "/TECHO", ""}) {
        SCOPED_TRACE(path);
        CgiResult g = get(path, "a=1");
        EXPECT_EQ(g.status, 0);
        EXPECT_EQ(g.out, "");
        CgiResult p = post(path, "{}");
        EXPECT_EQ(p.status, 0);
        EXPECT_EQ(p.out, "");
    }
}

TEST_F(Entry, ShippedProgramPrintsNothingForUnknownPath)
{
    CgiRequest r;
    r.method = "GET";
    r.path = "/nothing";
    CgiResult res = run_cgi(root_.path(), r);
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, "");
}

TEST_F(Entry, MultipartCutShortGivesNoOutputAndNoTemporaryFile)
{
    std::string complete = multipart(boundary_, {{"first", "a.bin", "complete part"}}, false);
    std::string cut = complete + "--" + boundary_ +
                      "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"b.bin\"\r\n\r\n"
                      "this part never ends";
    CgiResult r = upload("/tup", "", cut);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(temp_files(), 0);
    EXPECT_EQ(root_.list("/tmp"), "");
}

TEST_F(Entry, MultipartToRegisteredPathIsDispatched)
{
    std::string body = multipart(boundary_, {{"note", "", "hello"}, {"file", "x.bin", "XYZ"}});
    CgiResult r = upload("/tup", "", body);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kText + "[" + root_.at("/tmp/x.bin") + "]\nfile=600:3\nstdin=0");
}

TEST_F(Entry, FirmwarePathDoesNotReadTheBody)
{
    // A body that would fail to parse anywhere else.
    std::string body = multipart(boundary_, {{"file", "fw.bin", std::string(5000, 'F')}}, false) +
                       "--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\ncut";
    // Whatever the shipped handler answers, the body is not parsed: a parse
    // would fail with a non-zero exit and no output.
    CgiResult shipped = upload("/1010", "ver=2", body);
    EXPECT_EQ(shipped.status, 0);
    EXPECT_EQ(temp_files(), 0);

    CgiResult echoed = upload("/1010", "ver=2", body, "/1010");
    EXPECT_EQ(echoed.status, 0);
    EXPECT_EQ(echoed.out, kText + "[temp & ver=2]\nfile=none\nstdin=" + std::to_string(body.size()));
    EXPECT_EQ(temp_files(), 0);

    // The same body elsewhere fails.
    CgiResult other = upload("/tup", "", body);
    EXPECT_NE(other.status, 0);
    EXPECT_EQ(other.out, "");
}

TEST_F(Entry, SignalPathWithoutFileField)
{
    std::string body = multipart(boundary_, {{"note", "", "hello"}});
    for (const char* path : {"/6082", "/2079"}) {
        SCOPED_TRACE(path);
        CgiResult r = upload(path, "chn=3&x=1", body, path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, kText + "[temp & chn=3&x=1]\nfile=none\nstdin=0");
    }
    EXPECT_EQ(root_.list("/tmp"), "");
}

TEST_F(Entry, UploadMovedToClientBaseNameWithParam)
{
    const std::string data = std::string("cfg\0\r\n--bytes", 13);
    std::string body = multipart(boundary_, {{"file", "C:\\fw\\cfg.bin", data}});
    CgiResult r = upload("/tup", "param:abc&x=1", body);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kText + "[" + root_.at("/tmp/cfg.bin") + " & abc]\nfile=600:13\nstdin=0");
    EXPECT_EQ(root_.read("/tmp/cfg.bin"), data);
    EXPECT_EQ(root_.list("/tmp"), "cfg.bin");
}

TEST_F(Entry, UploadWithoutParamGivesPathAlone)
{
    std::string body = multipart(boundary_, {{"file", "C:\\fw\\cfg.bin", "v2"}});
    CgiResult r = upload("/tup", "x=1&y=2", body);
    EXPECT_EQ(r.out, kText + "[" + root_.at("/tmp/cfg.bin") + "]\nfile=600:2\nstdin=0");
    EXPECT_EQ(root_.read("/tmp/cfg.bin"), "v2");
}

TEST_F(Entry, UploadParamForms)
{
    std::string body = multipart(boundary_, {{"file", "p.bin", "p"}});
    const std::string path = root_.at("/tmp/p.bin");
    struct Row {
        std::string query;
        std::string arg;
    };
    const std::string long_value(300, 'v');
    const Row rows[] = {
        {"x=1&param:", path + " & "},
        {"param:one&param:two", path + " & one"},
        {"a=b&param:last", path + " & last"},
        {"param:" + long_value, path + " & " + long_value.substr(0, 255)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query);
        CgiResult r = upload("/tup", row.query, body);
        EXPECT_EQ(r.out, kText + "[" + row.arg + "]\nfile=600:1\nstdin=0");
    }
}

TEST_F(Entry, TemporaryFilePathsKeepTheirFile)
{
    std::string body = multipart(boundary_, {{"file", "C:\\oem\\pack.tgz", "OEMDATA"}});
    for (const char* path : {"/oem", "/1019"}) {
        SCOPED_TRACE(path);
        CgiResult r = upload(path, "k=v", body, path);
        EXPECT_EQ(r.status, 0);
        const std::string prefix = kText + "[" + root_.at("/tmp/cgic");
        ASSERT_EQ(r.out.compare(0, prefix.size(), prefix), 0) << r.out;
        // cgic + 6 characters, then the query; the file is there while the handler runs.
        EXPECT_EQ(r.out.substr(prefix.size() + 6), " & k=v]\nfile=600:7\nstdin=0");
        // Removed at the end of the process, not moved.
        EXPECT_EQ(root_.list("/tmp"), "");
    }
}

TEST_F(Entry, HostileClientNamesBecomeOnePlainFile)
{
    struct Row {
        std::string sent;  // as it stands in the header
        bool raw;
        std::string base;
    };
    const Row rows[] = {
        {"a\"b.txt", true, "a\"b.txt"},
        {"`touch pwned`.txt", false, "`touch pwned`.txt"},
        {"$(touch pwned)", false, "$(touch pwned)"},
        {"x$(touch${IFS}pwned)y;touch pwned", false, "x$(touch${IFS}pwned)y;touch pwned"},
        {"../x", false, "x"},
        {"..\\..\\y", false, "y"},
        {"/etc/passwd", false, "passwd"},
        {"dir/sub\\\\name with space", false, "name with space"},
        {"'quoted' &more|<>", false, "'quoted' &more|<>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sent);
        std::set<std::string> before = tree(root_);
        std::string body = multipart(boundary_, {{"file", row.sent, "payload", row.raw}});
        CgiResult r = upload("/tup", "", body);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, kText + "[" + root_.at("/tmp/" + row.base) + "]\nfile=600:7\nstdin=0");
        std::set<std::string> after = tree(root_);
        std::set<std::string> expected = before;
        expected.insert("tmp/" + row.base);
        EXPECT_EQ(after, expected);
        EXPECT_EQ(root_.read("/tmp/" + row.base), "payload");
        struct stat st;
        ASSERT_EQ(lstat(root_.at("/tmp/" + row.base).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        unlink(root_.at("/tmp/" + row.base).c_str());
        EXPECT_NE(access("pwned", F_OK), 0);
    }
}

TEST_F(Entry, UnusableClientNamesAreRefused)
{
    const std::string names[] = {".", "..", "", "dir/", "C:\\dir\\..", "a/.", "x\\"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::string body = multipart(boundary_, {{"file", name, "payload"}});
        CgiResult r = upload("/tup", "param:p", body);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(root_.list("/tmp"), "");
    }
    // 127 characters pass, 128 do not.
    std::string name127(127, 'n'), name128(128, 'n');
    EXPECT_EQ(upload("/tup", "", multipart(boundary_, {{"file", name128, "x"}})).out, "");
    EXPECT_EQ(root_.list("/tmp"), "");
    EXPECT_EQ(upload("/tup", "", multipart(boundary_, {{"file", name127, "x"}})).out,
              kText + "[" + root_.at("/tmp/" + name127) + "]\nfile=600:1\nstdin=0");
}

TEST_F(Entry, UploadWithoutFileFieldGivesNoOutput)
{
    EXPECT_EQ(upload("/tup", "", multipart(boundary_, {{"other", "o.bin", "x"}})).out, "");
    // A "file" field without a file name is no upload either.
    std::string body = "--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\nx\r\n--" +
                       boundary_ + "--\r\n";
    EXPECT_EQ(upload("/tup", "", body).out, "");
    EXPECT_EQ(root_.list("/tmp"), "");
}

// The start-up cut of the content type, in-process.
TEST(EntryStartup, ContentTypeAndBoundary)
{
    struct Row {
        const char* type;
        const char* bare;
        const char* boundary;
    };
    const Row rows[] = {
        {"multipart/form-data; BOUNDARY=abc def", "multipart/form-data", "abc"},
        {"multipart/form-data; boundary=----x", "multipart/form-data", "----x"},
        // The boundary runs to the first white space, ';' included.
        {"multipart/form-data;charset=x;  boundary=b1;z=2 y", "multipart/form-data", "b1;z=2"},
        {"application/json; charset=UTF-8", "application/json", ""},
        {"text/plain", "text/plain", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        setenv("CONTENT_TYPE", row.type, 1);
        cgi_startup();
        EXPECT_STREQ(cgiContentType, row.bare);
        EXPECT_STREQ(cgiMultipartBoundary, row.boundary);
    }
    std::string long_type(1500, 't');
    setenv("CONTENT_TYPE", long_type.c_str(), 1);
    cgi_startup();
    EXPECT_EQ(std::string(cgiContentType), long_type.substr(0, 1023));
    unsetenv("CONTENT_TYPE");
    cgi_startup();
    EXPECT_STREQ(cgiContentType, "");
    EXPECT_STREQ(cgiMultipartBoundary, "");
}

TEST(EntryStartup, ContentLengthAndEnvironment)
{
    struct Row {
        const char* text;
        int value;
    };
    const Row rows[] = {{"123", 123}, {"", 0}, {"abc", 0}, {"0", 0}, {"-5", 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        setenv("CONTENT_LENGTH", row.text, 1);
        cgi_startup();
        EXPECT_EQ(cgiContentLength, row.value);
    }
    unsetenv("CONTENT_LENGTH");
    setenv("HTTP_HOST", "10.1.2.3:8080", 1);
    setenv("HTTP_COOKIE", "userName=admin", 1);
    unsetenv("REMOTE_ADDR");
    cgi_startup();
    EXPECT_EQ(cgiContentLength, 0);
    EXPECT_STREQ(cgiServerAddr, "10.1.2.3:8080");
    EXPECT_STREQ(cgiCookie, "userName=admin");
    EXPECT_STREQ(cgiRemoteAddr, "");
    EXPECT_EQ(cgiIn, stdin);
    EXPECT_EQ(cgiOut, stdout);
    unsetenv("HTTP_HOST");
    unsetenv("HTTP_COOKIE");
    cgi_startup();
}

}  // namespace
