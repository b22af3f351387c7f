// A scripted core service for tests: listens on the scratch root's socket,
// records every request and answers as the test says.
#pragma once
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct FakeRequest {
    int code;
    int seq;
    std::string payload;
};

// Writes responses to the connection a request came on.
class FakeResponder {
public:
    explicit FakeResponder(int fd, int seq) : fd_(fd), seq_(seq) {}
    bool send(int code, const std::string& payload);
    bool send(int code, const void* data, size_t size);
    // Raw bytes, for malformed messages.
    bool send_raw(const std::string& bytes);
    int fd() const { return fd_; }

private:
    int fd_;
    int seq_;
};

using FakeScript = std::function<void(const FakeRequest&, FakeResponder&)>;

class FakeCore {
public:
    explicit FakeCore(const std::string& root);
    ~FakeCore();
    FakeCore(const FakeCore&) = delete;
    FakeCore& operator=(const FakeCore&) = delete;

    // Answer request `code` with one response (code + 5000 unless given).
    void reply(int code, const std::string& payload);
    void reply(int code, int response_code, const std::string& payload);
    // Answer with a list of responses, in order.
    void reply_many(int code, const std::vector<std::pair<int, std::string>>& responses);
    // Answer by a function (delays, streams, malformed bytes).
    void script(int code, FakeScript fn);
    // Unscripted codes get no answer.
    void silent(int code);

    std::vector<FakeRequest> requests() const;
    std::vector<FakeRequest> requests(int code) const;
    // Waits up to `ms` until at least n requests of `code` arrived.
    bool wait_for(int code, size_t n, int ms = 2000) const;
    void clear();
    // Waits (up to `ms`) until no connection is open or waiting to be
    // accepted, so that a finished CGI's last tells are recorded before the
    // log is cleared for the next run.
    void settle(int ms = 1000);

private:
    void accept_loop();
    void serve(int fd);

    std::string path_;
    int listen_fd_ = -1;
    bool stopping_ = false;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
    std::vector<int> conns_;
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    std::map<int, FakeScript> scripts_;
    std::vector<FakeRequest> requests_;
};

// Little helpers to build payloads.
template <typename T>
std::string bytes_of(const T& record)
{
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}
std::string int32_bytes(std::initializer_list<int> words);
