// The multipart/form-data reader in-process: parts, names, cuts, limits, the body reader.
#include <random>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

#include "frontend/cgi_env.h"
#include "frontend/multipart.h"
#include "tests/support/handler_test.h"

namespace {

// One part, a file part when `filename` is given; head() stops after its empty line.
std::string part(const std::string& b, const std::string& name, const std::string& data, const char* filename = nullptr)
{
    std::string s = "--" + b + "\r\nContent-Disposition: form-data; name=\"" + name + "\"";
    if (filename)
        s += "; filename=\"" + std::string(filename) + "\"\r\nContent-Type: application/octet-stream";
    return s + "\r\n\r\n" + data + "\r\n";
}
std::string head(const std::string& b, const std::string& name, const char* filename = nullptr)
{
    std::string s = part(b, name, "", filename);
    return s.substr(0, s.size() - 2);
}
std::string end(const std::string& b) { return "--" + b + "--\r\n"; }

// Random bytes sprinkled with near-delimiters of `b`, but no whole one.
std::string mean_bytes(size_t size, const std::string& b, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = (char)(rng() & 0xff);
    const std::string near[] = {"\r\n--", "\r\n-", "\r\n--" + b.substr(0, b.size() - 1), "\r\r\n--" + b.substr(0, 3),
                                "\r\n\r\n--", "--" + b};
    for (size_t at = 0; at + 64 < size; at += 1000 + rng() % 3000) {
        const std::string& n = near[rng() % 6];
        s.replace(at, n.size(), n);
    }
    for (size_t at = s.find("\r\n--" + b); at != std::string::npos; at = s.find("\r\n--" + b, at + 1))
        s[at + 4] = '#';
    return s;
}

class Multipart : public ::testing::Test {
protected:
    void SetUp() override { root_.use_in_process(); }
    void TearDown() override
    {
        cgiReleaseRequest();
        cgiIn = nullptr;
        if (in_)
            fclose(in_);
    }
    // Body on the input; CONTENT_LENGTH is its length unless given.
    void open(const std::string& body, long length = -1)
    {
        cgiReleaseRequest();
        if (in_)
            fclose(in_);
        in_ = tmpfile();
        fwrite(body.data(), 1, body.size(), in_);
        rewind(in_);
        cgiIn = in_;
        cgiContentLength = (int)(length < 0 ? (long)body.size() : length);
    }
    int parse(const std::string& body, const std::string& boundary, long length = -1)
    {
        open(body, length);
        boundary_ = boundary;
        cgiMultipartBoundary = boundary_.c_str();
        return cgiParseMultipartBody();
    }
    size_t parts() const
    {
        size_t n = 0;
        for (CgiFormEntry* e = cgiFormEntryFirst; e; e = e->next)
            n++;
        return n;
    }
    // A part's bytes: its temporary file's for a file part, else its value (checked to end in NUL).
    std::string got(const char* name) const
    {
        CgiFormEntry* e = cgiFormEntryFind(name);
        if (!e || *e->tfileName)
            return e ? root_.read(std::string(e->tfileName).substr(root_.path().size())) : "<no part>";
        return e->value[e->valueLength] ? "<no NUL>" : std::string(e->value, (size_t)e->valueLength);
    }
    size_t temp_files() const
    {
        std::string names = root_.list("/tmp");
        return names.empty() ? 0 : 1 + (size_t)std::count(names.begin(), names.end(), ' ');
    }

    ScratchRoot root_;
    FILE* in_ = nullptr;
    std::string boundary_;
};

TEST_F(Multipart, BodiesWithoutAPartGiveAnEmptyForm)
{
    for (const char* body : {"--AaB03x--\r\n", "a preamble line\r\n--AaB03x--\r\n", "no delimiter", "-", "--AaB03",
                             "--Other\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nx\r\n--Other--\r\n"}) {
        EXPECT_EQ(parse(body, "AaB03x"), 0) << body;
        EXPECT_EQ(parts() + temp_files(), 0u) << body;
    }
}

TEST_F(Multipart, PartsNamesAndPrivateTemporaryFiles)
{
    std::string name200, bin("a\0b\r\nc", 6);
    for (int i = 0; i < 200; i++)
        name200 += (char)('a' + i % 26);
    ASSERT_EQ(parse(part("B", "a", "first") + part("B", "win", bin, "C:\\img\\a.jpg") +
                        part("B", "long", "x", name200.c_str()) + part("B", "a", "second") + end("B"), "B"),
              0);
    ASSERT_EQ(parts(), 4u);
    EXPECT_STREQ(cgiFormEntryFirst->next->next->next->value, "second");  // body order kept
    EXPECT_EQ(got("a"), "first");                                         // the first of a repeated name
    EXPECT_EQ(cgiFormEntryFind("A"), nullptr);
    CgiFormEntry* win = cgiFormEntryFind("win");
    EXPECT_STREQ(win->fileName, "C\\img\\a.jpg");  // the colon alone is dropped
    EXPECT_STREQ(win->contentType, "application/octet-stream");
    EXPECT_TRUE(same_bytes(got("win"), bin));
    const std::string prefix = root_.at("/tmp/cgic"), tfile = win->tfileName;
    EXPECT_EQ(tfile.substr(0, prefix.size()), prefix);
    EXPECT_EQ(tfile.size(), prefix.size() + 6);
    struct stat st;
    EXPECT_TRUE(stat(tfile.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);

    const std::tuple<const char*, int, int, std::string> rows[] = {
        {"long", 128, cgiFormTruncated, name200.substr(0, 127)}, {"long", 201, cgiFormSuccess, name200},
        {"long", 1, cgiFormTruncated, ""}, {"a", 16, cgiFormNoFileName, ""}, {"absent", 16, cgiFormNotFound, ""}};
    for (const auto& [field, size, result, kept] : rows) {
        std::vector<char> out((size_t)size + 8, '#');
        out.back() = '\0';
        EXPECT_EQ(cgiFormFileName(field, out.data(), size), result) << size;
        EXPECT_EQ(std::string(out.data()), kept) << size;
        EXPECT_EQ(out[(size_t)size], '#');  // nothing written past the room given
    }
    cgiReleaseRequest();
    EXPECT_NE(access(tfile.c_str(), F_OK), 0);
    EXPECT_EQ(cgiFormEntryFirst, nullptr);
}

TEST_F(Multipart, NearDelimitersInsideValuesAreKept)
{
    for (std::string v : {"line1\r\n--notit", "a\r\n--XyZ12", "\r\n\r\n--XyZ12\r\n--", "\r\r\n-\r\n--XyZ1", "--XyZ123",
                          "ends in CR\r", "ends\r\n", "ends\r\n-", "ends\r\n--", "nul\1inside", ""}) {
        std::replace(v.begin(), v.end(), '\1', '\0');
        ASSERT_EQ(parse(part("XyZ123", "t", v) + part("XyZ123", "f", v, "f.bin") + end("XyZ123"), "XyZ123"), 0) << v;
        EXPECT_EQ(got("t"), v);
        EXPECT_EQ(got("f"), v);
    }
}

TEST_F(Multipart, HeaderVariants)
{
    // LF-only header lines, other case, unquoted values, extra headers; a part not form-data is skipped.
    ASSERT_EQ(parse("--X\r\ncontent-disposition: FORM-DATA; NAME=plain; FileName=\"a b.txt\"\nX-Other: y\n"
                    "CONTENT-TYPE: text/csv; charset=utf-8\n\nv1\r\n--X\r\nContent-Disposition:form-data;name=\"tight\""
                    "\r\n\r\nv3\r\n--X\r\nContent-Disposition: attachment; name=\"skipped\"\r\n\r\nv2\r\n--X--\r\n",
                    "X"),
              0);
    ASSERT_EQ(parts(), 2u);
    EXPECT_STREQ(cgiFormEntryFirst->name, "plain");
    EXPECT_STREQ(cgiFormEntryFirst->fileName, "a b.txt");
    EXPECT_STREQ(cgiFormEntryFirst->contentType, "text/csv");
    EXPECT_EQ(got("plain"), "v1");
    EXPECT_EQ(got("tight"), "v3");
}

// A failed parse keeps the complete parts for the caller to release, never the file of the cut part.
TEST_F(Multipart, CutBodiesFailAndLeaveNoFileOfTheCutPart)
{
    const std::string second = head("XyZ", "second", "two.bin") + "some content\r\n--XyZ--\r\n";
    for (size_t cut : {second.find("Content-Type"), second.find("\r\n\r\n") + 4, second.find("some") + 6,
                       second.find("\r\n--XyZ--") + 2, second.find("\r\n--XyZ--") + 5}) {
        EXPECT_EQ(parse(part("XyZ", "first", "complete", "one.bin") + second.substr(0, cut), "XyZ"), cgiParseIO);
        EXPECT_EQ(parts(), 1u) << cut;
        EXPECT_EQ(temp_files(), 1u) << cut;
        cgiReleaseRequest();
        EXPECT_EQ(temp_files(), 0u) << cut;
    }
    EXPECT_EQ(parse(head("XyZ", "t") + "unfinished", "XyZ"), cgiParseIO);
    EXPECT_EQ(parts(), 0u);

    ASSERT_EQ(rmdir(root_.at("/tmp").c_str()), 0);  // no temporary file can be made
    EXPECT_EQ(parse(part("XyZ", "a", "1") + part("XyZ", "f", "data", "x.bin") + end("XyZ"), "XyZ"), cgiParseIO);
    EXPECT_EQ(parts(), 1u);
    EXPECT_EQ(parse(part("XyZ", "a", "1") + end("XyZ"), "XyZ"), 0);  // text parts need none
}

TEST_F(Multipart, ContentLengthBoundsTheRead)
{
    const std::string body = part("X", "a", "alpha") + part("X", "f", "0123456789", "f.bin") + end("X");
    const long cut = (long)body.find("01234") + 3;
    const struct {
        std::string stream;
        long length;
        int rc;
        size_t parts;
    } rows[] = {{body + "JUNK", (long)body.size(), 0, 2}, {body, cut, cgiParseIO, 1}, {body, 0, 0, 0}, {"", 0, 0, 0}};
    for (const auto& r : rows) {
        EXPECT_EQ(parse(r.stream, "X", r.length), r.rc) << r.length;
        EXPECT_EQ(ftell(cgiIn), r.length);
        EXPECT_EQ(parts(), r.parts) << r.length;
        EXPECT_EQ(temp_files(), r.parts / 2) << r.length;
    }
}

// Delimiters across the 1024-byte put-back ring and the 64 KiB read-ahead block, in file and text parts
// and as the first boundary line after a preamble.
TEST_F(Multipart, DelimitersStraddlingBufferEdges)
{
    const std::string b = "----Edge7MA4YWxkTrZu0gW";
    for (long edge : {1024L, 65536L})
        for (long at = edge - 8; at <= edge + 4; at++)
            for (int kind = 0; kind < 3; kind++) {
                SCOPED_TRACE(std::to_string(at) + " kind " + std::to_string(kind));
                std::string h = kind == 0 ? head(b, "f", "edge.bin") : kind == 1 ? head(b, "f") : "";
                std::string data = mean_bytes((size_t)at - h.size(), kind == 2 ? "zz" : b, (unsigned)(at + kind));
                if (kind == 2)
                    std::replace(data.begin(), data.end(), '-', '+');
                std::string body = h + data + (kind == 2 ? "" : "\r\n") + part(b, "after", "ok") + end(b);
                const std::string delim = kind == 2 ? "--" + b : "\r\n--" + b;
                ASSERT_EQ(body.compare((size_t)at, delim.size(), delim), 0);
                ASSERT_EQ(parse(body, b), 0);
                EXPECT_EQ(got("after"), "ok");
                EXPECT_TRUE(kind == 2 || same_bytes(got("f"), data));
            }
}

TEST_F(Multipart, LargeFilePartArrivesByteForByte)
{
    const std::string b = "----LargeBoundary0123456789", data = mean_bytes(20u << 20, b, 12345);
    ASSERT_EQ(parse(part(b, "before", "b") + part(b, "file", data, "big.bin") + part(b, "after", "a") + end(b), b), 0);
    EXPECT_EQ(parts(), 3u);
    EXPECT_TRUE(same_bytes(got("file"), data));
    EXPECT_EQ(got("after"), "a");
}

// The body reader alone: put-back order, the end of the input, CONTENT_LENGTH, the ring's room.
TEST_F(Multipart, ReaderPutBackEndAndLimits)
{
    MpStream mp;
    auto reset = [&](const std::string& data, int length) {
        open(data, length);
        memset(&mp, 0, sizeof mp);
        mp.inPos = mp.inLen = MP_RING_SIZE;
    };
    auto read = [&](std::initializer_list<int> counts) {  // the pieces in order; <n> for a result n <= 0
        std::string out;
        for (int count : counts) {
            std::vector<char> buf((size_t)count + 1);
            int n = mpRead(&mp, buf.data(), count);
            out += n > 0 ? std::string(buf.data(), (size_t)n) : "<" + std::to_string(n) + ">";
        }
        return out;
    };
    reset("abcdefghJUNK", 8);
    EXPECT_EQ(read({4}), "abcd");
    EXPECT_EQ(mpPutBack(&mp, "cd", 2), 0);  // put back in reverse reading order
    EXPECT_EQ(mpPutBack(&mp, "b", 1), 0);
    EXPECT_EQ(read({2, 100, 1, 0}), "bcdefgh<-1><0>");  // -1: CONTENT_LENGTH reached
    EXPECT_EQ(mpPutBack(&mp, "gh", 2), 0);
    EXPECT_EQ(read({5, 1}), "gh<-1>");
    EXPECT_EQ(ftell(cgiIn), 8L);
    reset("xyz", 10);  // the input ends first
    EXPECT_EQ(read({10, 1}), "xyz<0>");

    const std::string data = mean_bytes(2000, "zz", 7);
    reset(data, 2000);
    ASSERT_EQ(read({1500}), data.substr(0, 1500));
    EXPECT_EQ(mpPutBack(&mp, data.data() + 477, 1023), 0);
    EXPECT_EQ(mpPutBack(&mp, data.data() + 476, 1), -1);  // the ring holds 1023
    EXPECT_EQ(read({2000}), data.substr(477));
}

}  // namespace
