// Scripted fake core service.
#include "tests/support/fake_core.h"

#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/vxsocket.h"

bool FakeResponder::send(int code, const std::string& payload)
{
    return vx_write_msg(fd_, VX_MSG_RESPONSE, seq_, code, payload.data(), (int)payload.size());
}

bool FakeResponder::send(int code, const void* data, size_t size)
{
    return vx_write_msg(fd_, VX_MSG_RESPONSE, seq_, code, data, (int)size);
}

bool FakeResponder::send_raw(const std::string& bytes)
{
    return vx_write_full(fd_, bytes.data(), bytes.size());
}

std::string int32_bytes(std::initializer_list<int> words)
{
    std::string out;
    for (int w : words) {
        int32_t v = w;
        out.append(reinterpret_cast<const char*>(&v), 4);
    }
    return out;
}

FakeCore::FakeCore(const std::string& root) : path_(root + "/var/run/vxsocket")
{
    listen_fd_ = vx_listen_unix(path_.c_str());
    if (listen_fd_ < 0)
        abort();
    acceptor_ = std::thread([this] { accept_loop(); });
}

FakeCore::~FakeCore()
{
    {
        std::lock_guard<std::mutex> g(mu_);
        stopping_ = true;
        for (int fd : conns_)
            shutdown(fd, SHUT_RDWR);
    }
    shutdown(listen_fd_, SHUT_RDWR);
    close(listen_fd_);
    acceptor_.join();
    for (std::thread& t : workers_)
        t.join();
    unlink(path_.c_str());
}

void FakeCore::accept_loop()
{
    for (;;) {
        int fd = accept(listen_fd_, nullptr, nullptr);
        std::lock_guard<std::mutex> g(mu_);
        if (fd < 0 || stopping_) {
            if (fd >= 0)
                close(fd);
            return;
        }
        conns_.push_back(fd);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void FakeCore::serve(int fd)
{
    vx_msg_header h;
    char* payload = nullptr;
    size_t capacity = 0;
    while (vx_read_msg(fd, &h, &payload, &capacity)) {
        FakeRequest req{h.code, h.seq, std::string(payload, (size_t)h.length)};
        FakeScript fn;
        {
            std::lock_guard<std::mutex> g(mu_);
            requests_.push_back(req);
            auto it = scripts_.find(h.code);
            if (it != scripts_.end())
                fn = it->second;
        }
        cv_.notify_all();
        if (fn) {
            FakeResponder r(fd, h.seq);
            fn(req, r);
        }
    }
    free(payload);
    std::lock_guard<std::mutex> g(mu_);
    for (int& c : conns_)
        if (c == fd)
            c = -1;
    close(fd);
}

void FakeCore::reply(int code, const std::string& payload)
{
    reply(code, code + 5000, payload);
}

void FakeCore::reply(int code, int response_code, const std::string& payload)
{
    script(code, [response_code, payload](const FakeRequest&, FakeResponder& r) {
        r.send(response_code, payload);
    });
}

void FakeCore::reply_many(int code, const std::vector<std::pair<int, std::string>>& responses)
{
    script(code, [responses](const FakeRequest&, FakeResponder& r) {
        for (const auto& resp : responses)
            r.send(resp.first, resp.second);
    });
}

void FakeCore::script(int code, FakeScript fn)
{
    std::lock_guard<std::mutex> g(mu_);
    scripts_[code] = std::move(fn);
}

void FakeCore::silent(int code)
{
    std::lock_guard<std::mutex> g(mu_);
    scripts_.erase(code);
}

std::vector<FakeRequest> FakeCore::requests() const
{
    std::lock_guard<std::mutex> g(mu_);
    return requests_;
}

std::vector<FakeRequest> FakeCore::requests(int code) const
{
    std::lock_guard<std::mutex> g(mu_);
    std::vector<FakeRequest> out;
    for (const FakeRequest& r : requests_)
        if (r.code == code)
            out.push_back(r);
    return out;
}

bool FakeCore::wait_for(int code, size_t n, int ms) const
{
    std::unique_lock<std::mutex> g(mu_);
    return cv_.wait_for(g, std::chrono::milliseconds(ms), [&] {
        size_t count = 0;
        for (const FakeRequest& r : requests_)
            if (r.code == code)
                count++;
        return count >= n;
    });
}

void FakeCore::clear()
{
    std::lock_guard<std::mutex> g(mu_);
    requests_.clear();
}

void FakeCore::settle(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int quiet = 0;
    while (quiet < 2 && std::chrono::steady_clock::now() < end) {
        bool open = false;
        {
            std::lock_guard<std::mutex> g(mu_);
            for (int fd : conns_)
                open = open || fd >= 0;
        }
        pollfd p = {listen_fd_, POLLIN, 0};
        const bool pending = poll(&p, 1, 0) > 0;
        // Twice quiet in a row: an accept that had just returned shows up
        // in conns_ by the second look.
        quiet = open || pending ? 0 : quiet + 1;
        if (quiet < 2)
            usleep(2000);
    }
}
