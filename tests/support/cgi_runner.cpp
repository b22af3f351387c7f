// CGI runner: fork/exec of build/nvrweb.cgi with a clean environment.
#include "tests/support/cgi_runner.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/scratch.h"

CgiResult run_cgi(const std::string& root, const CgiRequest& req)
{
    std::vector<std::pair<std::string, std::string>> env = {
        // The device tools built here (vxprofile) after the scripted ones.
        {"PATH", source_dir() + "/tools:" + build_dir() + ":/usr/bin:/bin"},
        {"NVRWEB_ROOT", root},
        {"GATEWAY_INTERFACE", "CGI/1.1"},
        {"SERVER_PROTOCOL", "HTTP/1.1"},
        {"REQUEST_METHOD", req.method},
        {"PATH_INFO", req.path},
        {"QUERY_STRING", req.query},
        {"REMOTE_ADDR", req.remote_addr},
        {"HTTP_HOST", req.host},
        {"CONTENT_LENGTH", req.content_length.empty() ? std::to_string(req.body.size())
                                                      : req.content_length},
        {"NVRWEB_IPC_MAX_STEPS", std::to_string(req.max_steps)},
        {"NVRWEB_IPC_MAX_SENDS", std::to_string(req.max_sends)},
        {"TZ", "UTC"},
    };
    if (!req.content_type.empty())
        env.push_back({"CONTENT_TYPE", req.content_type});
    if (!req.cookie.empty())
        env.push_back({"HTTP_COOKIE", req.cookie});
    for (const auto& kv : req.env) {
        bool replaced = false;
        for (auto& e : env)
            if (e.first == kv.first) {
                e.second = kv.second;
                replaced = true;
            }
        if (!replaced)
            env.push_back(kv);
    }
    std::vector<std::string> env_text;
    for (const auto& e : env)
        if (!e.second.empty() || e.first == "QUERY_STRING" || e.first == "PATH_INFO")
            env_text.push_back(e.first + "=" + e.second);
    std::vector<char*> envp;
    for (std::string& s : env_text)
        envp.push_back(&s[0]);
    envp.push_back(nullptr);

    std::vector<std::string> words = program_argv(req.test_entry ? "nvrweb_test.cgi" : "nvrweb.cgi");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    int in_pipe[2], out_pipe[2];
    // Close-on-exec: a CGI started at the same time from another thread must
    // not hold this one's pipes open, or neither sees its end of file.
    if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0)
        return {};
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        if (!req.stdout_file.empty()) {
            int fd = open(req.stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
        } else {
            dup2(out_pipe[1], 1);
        }
        close(in_pipe[0]);
        close(in_pipe[1]);
        close(out_pipe[0]);
        close(out_pipe[1]);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);

    // Feed the body from a thread: the CGI may read little or none of it.
    std::thread feeder([fd = in_pipe[1], &req] {
        signal(SIGPIPE, SIG_IGN);
        size_t off = 0;
        while (off < req.body.size()) {
            ssize_t w = write(fd, req.body.data() + off, req.body.size() - off);
            if (w <= 0)
                break;
            off += (size_t)w;
        }
        close(fd);
    });

    CgiResult result;
    char buf[65536];
    auto deadline = start + std::chrono::seconds(req.timeout_seconds);
    for (;;) {
        struct pollfd p = {out_pipe[0], POLLIN, 0};
        int ms = (int)std::chrono::duration_cast<std::chrono::milliseconds>(
                     deadline - std::chrono::steady_clock::now())
                     .count();
        if (ms <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        int r = poll(&p, 1, ms);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            continue;
        ssize_t n = read(out_pipe[0], buf, sizeof buf);
        if (n <= 0)
            break;
        result.out.append(buf, (size_t)n);
    }
    close(out_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    feeder.join();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

CgiResult post_json(const std::string& root, const std::string& path, const std::string& body)
{
    CgiRequest r;
    r.method = "POST", r.path = path, r.body = body, r.content_type = "application/json";
    return run_cgi(root, r);
}

std::string post_json_body(const std::string& root, const std::string& path, const std::string& body)
{
    return reply_body(post_json(root, path, body).out);
}

std::string reply_body(const std::string& out)
{
    size_t at = out.find("\r\n\r\n");
    return at == std::string::npos ? out : out.substr(at + 4);
}

std::string reply_head(const std::string& out)
{
    size_t at = out.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : out.substr(0, at + 4);
}

std::string utc_time_text(long long seconds)
{
    const time_t t = (time_t)seconds;
    struct tm tm;
    gmtime_r(&t, &tm);
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}
