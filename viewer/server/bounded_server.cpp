#include "bounded_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tarnview::server {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks whether the server is stopping.
constexpr std::chrono::milliseconds kStopCheck{100};

// Set on a connection's thread when it was accepted beyond the limit.
thread_local bool overLimit = false;

// Every connection on a thread of its own, at most `limit` at once: beyond
// that a connection is still taken (the library has accepted it) but only
// told to come back later. Finished threads are joined at the next
// connection and at the end.
class ConnectionThreads : public httplib::TaskQueue {
public:
    explicit ConnectionThreads(std::size_t limit) : limit_(limit) {}
    ~ConnectionThreads() override { shutdown(); }

    void enqueue(std::function<void()> serve) override {
        std::lock_guard lock(mutex_);
        JoinFinished();
        const bool over = running_.size() >= limit_;
        auto done = std::make_shared<std::atomic<bool>>(false);
        running_.push_back({std::thread([serve = std::move(serve), over, done] {
                                overLimit = over;
                                serve();
                                done->store(true);
                            }),
                            done});
    }

    void shutdown() override {
        std::list<Connection> all;
        {
            std::lock_guard lock(mutex_);
            all.swap(running_);
        }
        for (Connection& connection : all) connection.thread.join();
    }

private:
    struct Connection {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void JoinFinished() {
        for (auto it = running_.begin(); it != running_.end();) {
            if (!it->done->load()) {
                ++it;
                continue;
            }
            it->thread.join();
            it = running_.erase(it);
        }
    }

    std::size_t limit_;
    std::mutex mutex_;
    std::list<Connection> running_;
};

enum class Head { kReady, kClosed, kIdle, kTooLarge, kTooSlow, kStopping };

// A connection as the library's request parser reads it: a request's head
// read whole here first (bounded), then the rest from the socket, every
// read within the request's time and every write within the write time.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(socket_t socket, const BoundedServer& server) : socket_(socket), server_(server) {}

    // Waits for the next request and reads its head into the buffer.
    Head ReadHead() {
        const ConnectionLimits& limits = server_.limits();
        if (buffer_.empty()) {
            const int ready = WaitFor(POLLIN, Clock::now() + limits.idleTime);
            if (ready <= 0) return ready < 0 ? Head::kStopping : Head::kIdle;
        }
        deadline_ = Clock::now() + limits.requestTime;
        for (;;) {
            if (const std::size_t end = HeadEnd(); end != std::string::npos) {
                const auto lines = std::count(buffer_.begin(), buffer_.begin() + static_cast<long>(end), '\n');
                return static_cast<std::size_t>(lines) > limits.maxHeaderLines + 2 ? Head::kTooLarge : Head::kReady;
            }
            if (buffer_.size() > limits.maxHeadBytes) return Head::kTooLarge;
            const int ready = WaitFor(POLLIN, deadline_);
            if (ready < 0) return Head::kStopping;
            if (ready == 0) return Head::kTooSlow;
            if (Receive() <= 0) return Head::kClosed;
        }
    }

    // A short answer of its own, then the connection ends.
    void Refuse(int status, const char* reason, const char* message) {
        const std::string body = std::string("{\"error\":\"") + message + "\"}";
        const std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                                   "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
                                   std::to_string(body.size()) +
                                   "\r\nConnection: close\r\nCache-Control: no-store\r\n"
                                   "X-Content-Type-Options: nosniff\r\n\r\n" +
                                   body;
        deadline_ = Clock::now() + server_.limits().writeTime;
        write(answer.data(), answer.size());
    }

    bool is_readable() const override { return !buffer_.empty() || WaitFor(POLLIN, deadline_) > 0; }
    bool is_writable() const override {
        return WaitFor(POLLOUT, Clock::now() + server_.limits().writeTime) > 0;
    }

    ssize_t read(char* into, size_t size) override {
        if (buffer_.empty()) {
            const int ready = WaitFor(POLLIN, deadline_);
            if (ready <= 0) return -1;
            const ssize_t got = Receive();
            if (got <= 0) return got;
        }
        const std::size_t taken = std::min(size, buffer_.size());
        std::memcpy(into, buffer_.data(), taken);
        buffer_.erase(0, taken);
        return static_cast<ssize_t>(taken);
    }

    ssize_t write(const char* data, size_t size) override {
        std::size_t sent = 0;
        while (sent < size) {
            if (WaitFor(POLLOUT, Clock::now() + server_.limits().writeTime) <= 0) return -1;
            const ssize_t put = ::send(socket_, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (put < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (put <= 0) return -1;
            sent += static_cast<std::size_t>(put);
        }
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        AddressOf(getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        AddressOf(getsockname, ip, port);
    }
    socket_t socket() const override { return socket_; }

private:
    // The end of the head in the buffer (after its empty line), or npos.
    std::size_t HeadEnd() const {
        const std::size_t crlf = buffer_.find("\r\n\r\n");
        const std::size_t lf = buffer_.find("\n\n");
        const std::size_t end = std::min(crlf == std::string::npos ? crlf : crlf + 4,
                                         lf == std::string::npos ? lf : lf + 2);
        return end;
    }

    ssize_t Receive() {
        char chunk[16 * 1024];
        for (;;) {
            const ssize_t got = ::recv(socket_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && errno == EAGAIN) return -1;
            if (got > 0) buffer_.append(chunk, static_cast<std::size_t>(got));
            return got;
        }
    }

    // 1 when the socket is ready, 0 when the deadline passed first, -1 when
    // the server stops (or the socket failed).
    int WaitFor(short events, Clock::time_point deadline) const {
        for (;;) {
            if (server_.Stopping()) return -1;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return 0;
            pollfd descriptor{socket_, events, 0};
            const int ready = ::poll(&descriptor, 1, static_cast<int>(std::min(left, kStopCheck).count()));
            if (ready > 0) return 1;
            if (ready < 0 && errno != EINTR) return -1;
        }
    }

    template <typename Name>
    void AddressOf(Name name, std::string& ip, int& port) const {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ip.clear();
        port = 0;
        if (name(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
        char text[INET6_ADDRSTRLEN] = {};
        if (address.ss_family == AF_INET) {
            const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
            inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
            port = ntohs(v4.sin_port);
        } else if (address.ss_family == AF_INET6) {
            const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
            inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
            port = ntohs(v6.sin6_port);
        }
        ip = text;
    }

    socket_t socket_;
    const BoundedServer& server_;
    std::string buffer_;  // bytes received and not yet read by the parser
    Clock::time_point deadline_ = Clock::now();
};

void SetNoDelay(socket_t socket) {
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

BoundedServer::BoundedServer(ConnectionLimits limits) : limits_(limits) {
    new_task_queue = [max = limits_.maxConnections] { return new ConnectionThreads(max); };
    set_tcp_nodelay(true);
    // The library's own options add SO_REUSEPORT, with which a second
    // server binds the same port and takes half the requests: only
    // SO_REUSEADDR here, so a port in use is an error.
    set_socket_options([](socket_t socket) {
        const int on = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
}

int BoundedServer::Bind(const std::string& host, int port) {
    const int bound = port == 0 ? bind_to_any_port(host) : (bind_to_port(host, port) ? port : -1);
    if (bound >= 0) ::listen(svr_sock_, SOMAXCONN);
    return bound;
}

void BoundedServer::StopServing() {
    const socket_t listening = svr_sock_.exchange(INVALID_SOCKET);
    if (listening == INVALID_SOCKET) return;
    ::shutdown(listening, SHUT_RDWR);
    ::close(listening);
}

bool BoundedServer::process_and_close_socket(socket_t sock) {
    SetNoDelay(sock);
    ConnectionStream stream(sock, *this);
    if (overLimit) {
        stream.Refuse(503, "Service Unavailable", "too many connections: try again");
    } else {
        for (std::size_t served = 0; served < limits_.requestsPerConnection; ++served) {
            const Head head = stream.ReadHead();
            if (head == Head::kTooLarge) {
                stream.Refuse(431, "Request Header Fields Too Large", "the request's headers are too large");
            } else if (head == Head::kTooSlow) {
                stream.Refuse(408, "Request Timeout", "the request came too slowly");
            }
            if (head != Head::kReady) break;
            const bool last = served + 1 == limits_.requestsPerConnection || Stopping();
            bool closed = false;
            if (!process_request(stream, last, closed, nullptr) || closed || last) break;
        }
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
}

}  // namespace tarnview::server
