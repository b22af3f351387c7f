// The multipart/form-data reader in-process: parts, names, cuts, limits, the body reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "frontend/cgi_env.h"
#include "frontend/multipart.h"
#include "tests/support/scratch.h"

namespace {

struct Part {
    std::string name;
    std::string data;
    std::string filename;  // empty: a text part
    bool has_filename = false;
    std::string content_type;
};

Part text_part(const std::string& name, const std::string& data)
{
    return Part{name, data, "", false, ""};
}

Part file_part(const std::string& name, const std::string& filename, const std::string& data,
               const std::string& type = "application/octet-stream")
{
    return Part{name, data, filename, true, type};
}

std::string part_head(const std::string& boundary, const Part& p)
{
    std::string s = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + p.name + "\"";
    if (p.has_filename)
        s += "; filename=\"" + p.filename + "\"";
    s += "\r\n";
    if (!p.content_type.empty())
        s += "Content-Type: " + p.content_type + "\r\n";
    s += "\r\n";
    return s;
}

std::string body_of(const std::string& boundary, const std::vector<Part>& parts)
{
    std::string s;
    for (const Part& p : parts)
        s += part_head(boundary, p) + p.data + "\r\n";
    s += "--" + boundary + "--\r\n";
    return s;
}

std::vector<CgiFormEntry*> entries()
{
    std::vector<CgiFormEntry*> out;
    for (CgiFormEntry* e = cgiFormEntryFirst; e; e = e->next)
        out.push_back(e);
    return out;
}

std::string file_bytes(const char* path)
{
    std::string out;
    FILE* f = fopen(path, "rb");
    if (!f)
        return "<missing>";
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

// Pseudo-random bytes sprinkled with near-delimiters of `boundary`.
std::string mean_bytes(size_t size, const std::string& boundary, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (size_t i = 0; i < size; i++)
        s[i] = (char)(rng() & 0xff);
    const std::string near[] = {"\r\n--", "\r\n-", "\r\n--" + boundary.substr(0, boundary.size() - 1),
                                "\r\r\n--" + boundary.substr(0, 3), "\r\n\r\n--", "--" + boundary};
    for (size_t at = 0; at + 64 < size; at += 1000 + rng() % 3000) {
        const std::string& n = near[rng() % (sizeof near / sizeof near[0])];
        s.replace(at, n.size(), n);
    }
    // Break any whole delimiter that chance made.
    const std::string delim = "\r\n--" + boundary;
    for (size_t at = s.find(delim); at != std::string::npos; at = s.find(delim, at + 1))
        s[at + 4] = '#';
    return s;
}

class Multipart : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_.use_in_process();
        cgiFormEntryFirst = nullptr;
    }
    void TearDown() override
    {
        cgiReleaseRequest();
        if (in_)
            fclose(in_);
        in_ = nullptr;
        cgiIn = nullptr;
        cgiContentLength = 0;
        cgiMultipartBoundary = "";
    }

    // Parses `body` with the given boundary; CONTENT_LENGTH is the body's
    // length unless given.
    int parse(const std::string& body, const char* boundary, long long content_length = -1)
    {
        if (in_)
            fclose(in_);
        in_ = tmpfile();
        if (!body.empty())
            fwrite(body.data(), 1, body.size(), in_);
        rewind(in_);
        cgiIn = in_;
        boundary_ = boundary;
        cgiMultipartBoundary = boundary_.c_str();
        cgiContentLength = (int)(content_length < 0 ? (long long)body.size() : content_length);
        return cgiParseMultipartBody();
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
    FILE* in_ = nullptr;
    std::string boundary_;
};

TEST_F(Multipart, ClosingBoundaryOnlyGivesEmptyForm)
{
    EXPECT_EQ(parse("--AaB03x--\r\n", "AaB03x"), 0);
    EXPECT_TRUE(entries().empty());
    EXPECT_EQ(parse("a preamble line\r\n--AaB03x--\r\n", "AaB03x"), 0);
    EXPECT_TRUE(entries().empty());
}

TEST_F(Multipart, BodyWithoutBoundaryGivesEmptyForm)
{
    const char* bodies[] = {
        "no delimiter in here at all",
        "--Other\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nx\r\n--Other--\r\n",
        "-",
        "--AaB03",
    };
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        EXPECT_EQ(parse(body, "AaB03x"), 0);
        EXPECT_TRUE(entries().empty());
        EXPECT_EQ(temp_files(), 0);
    }
}

TEST_F(Multipart, TextAndFileParts)
{
    std::string body = body_of("XyZ", {text_part("channel", "3"),
                                       file_part("file", "cfg.bin", std::string("a\0b\r\nc", 6)),
                                       text_part("empty", "")});
    ASSERT_EQ(parse(body, "XyZ"), 0);
    auto list = entries();
    ASSERT_EQ(list.size(), 3u);

    EXPECT_STREQ(list[0]->name, "channel");
    EXPECT_STREQ(list[0]->value, "3");
    EXPECT_EQ(list[0]->valueLength, 1);
    EXPECT_STREQ(list[0]->fileName, "");
    EXPECT_STREQ(list[0]->tfileName, "");

    EXPECT_STREQ(list[1]->name, "file");
    EXPECT_STREQ(list[1]->value, "");
    EXPECT_STREQ(list[1]->fileName, "cfg.bin");
    EXPECT_STREQ(list[1]->contentType, "application/octet-stream");
    EXPECT_EQ(file_bytes(list[1]->tfileName), std::string("a\0b\r\nc", 6));

    EXPECT_STREQ(list[2]->name, "empty");
    EXPECT_STREQ(list[2]->value, "");
    EXPECT_EQ(list[2]->valueLength, 0);
}

TEST_F(Multipart, WindowsFileNameLosesColonOnly)
{
    std::string body = body_of("XyZ", {file_part("file", "C:\\img\\a.jpg", "JPEGDATA", "image/jpeg")});
    ASSERT_EQ(parse(body, "XyZ"), 0);
    CgiFormEntry* e = cgiFormEntryFind("file");
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->fileName, "C\\img\\a.jpg");
    EXPECT_STREQ(e->contentType, "image/jpeg");
    const char* base = strrchr(e->fileName, '\\');
    ASSERT_NE(base, nullptr);
    EXPECT_STREQ(base + 1, "a.jpg");

    char out[128];
    EXPECT_EQ(cgiFormFileName("file", out, sizeof out), cgiFormSuccess);
    EXPECT_STREQ(out, "C\\img\\a.jpg");
    EXPECT_EQ(file_bytes(e->tfileName), "JPEGDATA");
}

TEST_F(Multipart, RepeatedNamesFindTheFirst)
{
    std::string body = body_of("XyZ", {text_part("a", "first"), text_part("b", "other"),
                                       text_part("a", "second")});
    ASSERT_EQ(parse(body, "XyZ"), 0);
    auto list = entries();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_STREQ(list[2]->value, "second");  // kept in body order
    CgiFormEntry* e = cgiFormEntryFind("a");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e, list[0]);
    EXPECT_STREQ(e->value, "first");
    EXPECT_EQ(cgiFormEntryFind("A"), nullptr);  // exact comparison
    EXPECT_EQ(cgiFormEntryFind("c"), nullptr);
}

TEST_F(Multipart, NearDelimitersInsideValuesAreKept)
{
    const std::string values[] = {
        "line1\r\n--notit",
        "a\r\n--XyZ12",                 // the boundary's beginning, then not
        "\r\n\r\n--XyZ12\r\n--",
        "\r\r\n-\r\n--XyZ1",
        "--XyZ123",                     // no CR LF before it
        "ends in CR\r",
        "ends in CR LF\r\n",
        "ends in CR LF dash\r\n-",
        "ends in CR LF dashes\r\n--",
        std::string("nul\0inside", 10),
        "",
    };
    for (const std::string& v : values) {
        SCOPED_TRACE(v);
        cgiReleaseRequest();
        std::string body = body_of("XyZ123", {text_part("t", v), file_part("f", "f.bin", v)});
        ASSERT_EQ(parse(body, "XyZ123"), 0);
        CgiFormEntry* t = cgiFormEntryFind("t");
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(std::string(t->value, (size_t)t->valueLength), v);
        EXPECT_EQ(t->value[t->valueLength], '\0');
        CgiFormEntry* f = cgiFormEntryFind("f");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(file_bytes(f->tfileName), v);
    }
}

TEST_F(Multipart, FileNameLimit)
{
    std::string name200;
    for (int i = 0; i < 200; i++)
        name200 += (char)('a' + i % 26);
    std::string body = body_of("XyZ", {file_part("file", name200, "x"), text_part("plain", "y")});
    ASSERT_EQ(parse(body, "XyZ"), 0);

    struct Row {
        int size;
        int result;
        size_t kept;
    };
    const Row rows[] = {{128, cgiFormTruncated, 127}, {200, cgiFormTruncated, 199},
                        {201, cgiFormSuccess, 200}, {1, cgiFormTruncated, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.size);
        std::vector<char> out((size_t)r.size + 8, '#');
        EXPECT_EQ(cgiFormFileName("file", out.data(), r.size), r.result);
        EXPECT_EQ(std::string(out.data()), name200.substr(0, r.kept));
        EXPECT_EQ(out[(size_t)r.size], '#');  // nothing written past the limit
    }

    char out[16] = "untouched";
    EXPECT_EQ(cgiFormFileName("plain", out, sizeof out), cgiFormNoFileName);
    EXPECT_EQ(cgiFormFileName("absent", out, sizeof out), cgiFormNotFound);
    EXPECT_STREQ(out, "");
}

TEST_F(Multipart, HeaderVariants)
{
    // Header lines ending in LF only, other case, unquoted values, extra
    // headers and a last part that is not form-data (skipped).
    std::string body =
        "--XyZ\r\n"
        "content-disposition: FORM-DATA; NAME=plain; FileName=\"a b.txt\"\n"
        "X-Other: ignored\n"
        "CONTENT-TYPE: text/csv; charset=utf-8\n"
        "\n"
        "v1\r\n"
        "--XyZ\r\n"
        "Content-Disposition:form-data;name=\"tight\"\r\n"
        "\r\n"
        "v3\r\n"
        "--XyZ\r\n"
        "Content-Disposition: attachment; name=\"skipped\"\r\n"
        "\r\n"
        "v2\r\n"
        "--XyZ--\r\n";
    ASSERT_EQ(parse(body, "XyZ"), 0);
    auto list = entries();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0]->name, "plain");
    EXPECT_STREQ(list[0]->fileName, "a b.txt");
    EXPECT_STREQ(list[0]->contentType, "text/csv");
    EXPECT_EQ(file_bytes(list[0]->tfileName), "v1");
    EXPECT_STREQ(list[1]->name, "tight");
    EXPECT_STREQ(list[1]->value, "v3");
    EXPECT_EQ(cgiFormEntryFind("skipped"), nullptr);
}

TEST_F(Multipart, CutBodiesFailAndLeaveNoTemporaryFileOfTheCutPart)
{
    const std::string head = body_of("XyZ", {file_part("first", "one.bin", "complete")});
    // The same body without its closing line, then a second file part cut at
    // several places.
    const std::string prefix = head.substr(0, head.size() - std::string("--XyZ--\r\n").size());
    const std::string second = part_head("XyZ", file_part("second", "two.bin", "")) +
                               "some content\r\n--XyZ--\r\n";
    const size_t cuts[] = {
        second.find("Content-Type") ,  // inside the headers, after the disposition
        second.find("\r\n\r\n") + 4,   // right after the empty line
        second.find("some") + 6,       // inside the content
        second.find("\r\n--XyZ--") + 2,  // inside the delimiter
        second.find("\r\n--XyZ--") + 5,
    };
    for (size_t cut : cuts) {
        SCOPED_TRACE(cut);
        cgiReleaseRequest();
        ASSERT_EQ(temp_files(), 0);
        std::string body = prefix + second.substr(0, cut);
        EXPECT_EQ(parse(body, "XyZ"), cgiParseIO);
        // The complete part stays (the caller releases it); the cut one is gone.
        auto list = entries();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_STREQ(list[0]->name, "first");
        EXPECT_EQ(temp_files(), 1);
        cgiReleaseRequest();
        EXPECT_EQ(temp_files(), 0);
    }

    // A text part cut short fails the same way.
    std::string text_cut = part_head("XyZ", text_part("t", "")) + "unfinished";
    EXPECT_EQ(parse(text_cut, "XyZ"), cgiParseIO);
    EXPECT_TRUE(entries().empty());
}

TEST_F(Multipart, CutByContentLengthStopsThereAndReadsNoFurther)
{
    std::string body = body_of("XyZ", {text_part("a", "alpha"), file_part("f", "f.bin", "0123456789")});
    const std::string junk = "JUNK AFTER THE BODY that must stay unread";
    // CONTENT_LENGTH shorter than the stream: a complete body, then junk.
    ASSERT_EQ(parse(body + junk, "XyZ", (long long)body.size()), 0);
    EXPECT_EQ(ftell(cgiIn), (long)body.size());
    ASSERT_EQ(entries().size(), 2u);
    EXPECT_EQ(file_bytes(cgiFormEntryFind("f")->tfileName), "0123456789");
    cgiReleaseRequest();

    // CONTENT_LENGTH ending inside the file part: a cut body.
    size_t cut = body.find("01234") + 3;
    EXPECT_EQ(parse(body, "XyZ", (long long)cut), cgiParseIO);
    EXPECT_EQ(ftell(cgiIn), (long)cut);
    EXPECT_EQ(temp_files(), 0);
}

TEST_F(Multipart, ZeroLengthBodyReadsNothing)
{
    std::string body = body_of("XyZ", {text_part("a", "alpha")});
    EXPECT_EQ(parse(body, "XyZ", 0), 0);
    EXPECT_TRUE(entries().empty());
    EXPECT_EQ(ftell(cgiIn), 0L);
    EXPECT_EQ(parse("", "XyZ"), 0);
    EXPECT_TRUE(entries().empty());
}

// Delimiters placed across the 64 KiB read-ahead block and the 1024-byte
// put-back ring, in file and text parts and in the first boundary line.
TEST_F(Multipart, DelimitersStraddlingBufferEdges)
{
    const std::string boundary = "----Edge7MA4YWxkTrZu0gW";
    const std::vector<long> edges = {1024, 65536};
    for (long edge : edges) {
        for (long delta = -8; delta <= 4; delta++) {
            for (int kind = 0; kind < 3; kind++) {
                SCOPED_TRACE("edge " + std::to_string(edge) + " delta " + std::to_string(delta) +
                             " kind " + std::to_string(kind));
                cgiReleaseRequest();
                const long at = edge + delta;  // body offset where the delimiter starts
                std::string body;
                std::string data;
                if (kind == 2) {
                    // The first boundary line itself after a preamble.
                    std::string preamble = mean_bytes((size_t)at, "zz", (unsigned)at);
                    for (char& c : preamble)
                        if (c == '-')
                            c = '+';
                    body = preamble + body_of(boundary, {text_part("after", "ok")});
                } else {
                    Part p = kind == 0 ? file_part("f", "edge.bin", "") : text_part("f", "");
                    std::string head = part_head(boundary, p);
                    data = mean_bytes((size_t)(at - (long)head.size()), boundary, (unsigned)(at + kind));
                    p.data = data;
                    body = body_of(boundary, {p, text_part("after", "ok")});
                    ASSERT_EQ(body.compare((size_t)at, 4 + boundary.size(), "\r\n--" + boundary), 0);
                }
                ASSERT_EQ(parse(body, boundary.c_str()), 0);
                CgiFormEntry* after = cgiFormEntryFind("after");
                ASSERT_NE(after, nullptr);
                EXPECT_STREQ(after->value, "ok");
                if (kind == 0) {
                    EXPECT_TRUE(file_bytes(cgiFormEntryFind("f")->tfileName) == data);
                } else if (kind == 1) {
                    CgiFormEntry* f = cgiFormEntryFind("f");
                    ASSERT_EQ((size_t)f->valueLength, data.size());
                    EXPECT_TRUE(memcmp(f->value, data.data(), data.size()) == 0);
                }
            }
        }
    }
}

TEST_F(Multipart, LargeFilePartArrivesByteForByte)
{
    const std::string boundary = "----LargeBoundary0123456789";
    const std::string data = mean_bytes(20u << 20, boundary, 12345);
    std::string body = body_of(boundary, {text_part("before", "b"), file_part("file", "big.bin", data),
                                          text_part("after", "a")});
    ASSERT_EQ(parse(body, boundary.c_str()), 0);
    auto list = entries();
    ASSERT_EQ(list.size(), 3u);
    CgiFormEntry* f = cgiFormEntryFind("file");
    ASSERT_NE(f, nullptr);
    std::string got = file_bytes(f->tfileName);
    ASSERT_EQ(got.size(), data.size());
    size_t mismatch = 0;
    while (mismatch < data.size() && got[mismatch] == data[mismatch])
        mismatch++;
    EXPECT_EQ(mismatch, data.size()) << "first differing byte";
    EXPECT_STREQ(cgiFormEntryFind("after")->value, "a");
}

TEST_F(Multipart, TemporaryFileIsPrivateAndRemovedOnRelease)
{
    std::string body = body_of("XyZ", {file_part("file", "x.bin", "secret")});
    ASSERT_EQ(parse(body, "XyZ"), 0);
    CgiFormEntry* e = cgiFormEntryFind("file");
    ASSERT_NE(e, nullptr);
    std::string expected_prefix = root_.at("/tmp/cgic");
    EXPECT_EQ(std::string(e->tfileName).compare(0, expected_prefix.size(), expected_prefix), 0);
    EXPECT_EQ(strlen(e->tfileName), expected_prefix.size() + 6);
    struct stat st;
    ASSERT_EQ(stat(e->tfileName, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    std::string name = e->tfileName;
    cgiReleaseRequest();
    EXPECT_NE(stat(name.c_str(), &st), 0);
    EXPECT_EQ(cgiFormEntryFirst, nullptr);
}

TEST_F(Multipart, TemporaryFileThatCannotBeMadeFails)
{
    ASSERT_EQ(rmdir(root_.at("/tmp").c_str()), 0);
    std::string with_file = body_of("XyZ", {text_part("a", "1"), file_part("file", "x.bin", "data")});
    EXPECT_EQ(parse(with_file, "XyZ"), cgiParseIO);
    ASSERT_EQ(entries().size(), 1u);  // the text part before it stays
    cgiReleaseRequest();
    // Text parts need no file.
    EXPECT_EQ(parse(body_of("XyZ", {text_part("a", "1")}), "XyZ"), 0);
    EXPECT_EQ(entries().size(), 1u);
}

// The body reader alone: put-back order, the end of the input, the limit.
class MpReader : public Multipart {
protected:
    void open(const std::string& data, int content_length)
    {
        if (in_)
            fclose(in_);
        in_ = tmpfile();
        fwrite(data.data(), 1, data.size(), in_);
        rewind(in_);
        cgiIn = in_;
        cgiContentLength = content_length;
        memset(&mp_, 0, sizeof mp_);
        mp_.inPos = mp_.inLen = MP_RING_SIZE;
    }
    std::string read(int count, int* got = nullptr)
    {
        std::vector<char> buf((size_t)count + 1, '\0');
        int n = mpRead(&mp_, buf.data(), count);
        if (got)
            *got = n;
        return n > 0 ? std::string(buf.data(), (size_t)n) : std::string();
    }
    MpStream mp_;
};

TEST_F(MpReader, ReadPutBackAndEnd)
{
    open("abcdefgh", 8);
    int got = 0;
    EXPECT_EQ(read(3, &got), "abc");
    EXPECT_EQ(mpPutBack(&mp_, "bc", 2), 0);
    EXPECT_EQ(read(4), "bcde");
    // Two put-backs in reverse reading order give the bytes back in order.
    EXPECT_EQ(mpPutBack(&mp_, "de", 2), 0);
    EXPECT_EQ(mpPutBack(&mp_, "c", 1), 0);
    EXPECT_EQ(read(2), "cd");
    EXPECT_EQ(read(100, &got), "efgh");
    EXPECT_EQ(got, 4);
    EXPECT_EQ(read(1, &got), "");
    EXPECT_EQ(got, -1);  // everything handed out
    EXPECT_EQ(read(0, &got), "");
    EXPECT_EQ(got, 0);
    // What is put back after the end comes again, then the end again.
    EXPECT_EQ(mpPutBack(&mp_, "gh", 2), 0);
    EXPECT_EQ(read(5, &got), "gh");
    EXPECT_EQ(read(1, &got), "");
    EXPECT_EQ(got, -1);
    EXPECT_EQ(ftell(cgiIn), 8L);
}

TEST_F(MpReader, NeverPastContentLength)
{
    open("0123456789", 4);
    int got = 0;
    EXPECT_EQ(read(10, &got), "0123");
    EXPECT_EQ(read(1, &got), "");
    EXPECT_EQ(got, -1);
    EXPECT_EQ(ftell(cgiIn), 4L);
}

TEST_F(MpReader, InputEndingBeforeContentLengthGivesZero)
{
    open("xyz", 10);
    int got = 0;
    EXPECT_EQ(read(10, &got), "xyz");
    EXPECT_EQ(read(1, &got), "");
    EXPECT_EQ(got, 0);
}

TEST_F(MpReader, RingHoldsUpTo1023Bytes)
{
    std::string data(2000, 'q');
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (char)('a' + i % 23);
    open(data, (int)data.size());
    std::string first = read(1500);
    ASSERT_EQ(first, data.substr(0, 1500));
    EXPECT_EQ(mpPutBack(&mp_, first.data() + 477, 1023), 0);
    EXPECT_EQ(mpPutBack(&mp_, first.data() + 476, 1), -1);  // would overflow the ring
    EXPECT_EQ(read(2000), data.substr(477));
}

}  // namespace
