// Runs the built CGI as the web server would: environment, body on stdin.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct CgiRequest {
    std::string method = "GET";
    std::string path;
    std::string query;
    std::string body;
    std::string content_type;
    std::string cookie;
    std::string remote_addr = "192.168.1.20";
    std::string host = "192.168.1.100";
    // CONTENT_LENGTH; the body's length when empty.
    std::string content_length;
    // Further or overriding variables; an empty value unsets.
    std::vector<std::pair<std::string, std::string>> env;
    // Run the test entry (shipped modules plus test-only resources).
    bool test_entry = false;
    // Caps that keep waits short; the waits are real otherwise.
    int max_steps = 25;
    int max_sends = 5;
    // Standard output goes to this file instead of `out` when set.
    std::string stdout_file;
    int timeout_seconds = 60;
};

struct CgiResult {
    std::string out;
    int status = -1;        // exit code, or 128 + signal
    double seconds = 0;     // wall time, for diagnostics only
};

CgiResult run_cgi(const std::string& root, const CgiRequest& request);
// A JSON POST as the browser sends it; and the body of its reply.
CgiResult post_json(const std::string& root, const std::string& path, const std::string& body);
std::string post_json_body(const std::string& root, const std::string& path, const std::string& body);

// The body of a reply without its header block, and the header block.
std::string reply_body(const std::string& out);
std::string reply_head(const std::string& out);

// "%Y-%m-%d %H:%M:%S" in UTC, the form the CGI reads times in when it runs
// with TZ=UTC.
std::string utc_time_text(long long seconds);
