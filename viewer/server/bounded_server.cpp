#include "bounded_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace tarnview::server {

namespace {

using Clock = std::chrono::steady_clock;

// How often a worker's wait looks whether the server is stopping.
constexpr std::chrono::milliseconds kStopCheck{100};
// Connections taken from the queue between two looks at those taken.
constexpr std::size_t kAcceptsPerRound = 16;
// How long accepting pauses when the system has no memory or buffers left.
constexpr std::chrono::milliseconds kAcceptPause{100};

std::thread StartStdThread(std::function<void()> body) { return std::thread(std::move(body)); }

void SetNoDelay(int socket) {
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// What fits into the socket's buffer now, without waiting: for the short
// answers of refusals, given on the accepting thread.
void SendNow(int socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}

void SendRefusal(int socket, const HttpAnswer& answer) {
    SendNow(socket, AnswerHead(answer, false) + *answer.body);
}

std::size_t LinesIn(std::string_view text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

BoundedServer::Connection::~Connection() {
    if (socket < 0) return;
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
}

BoundedServer::BoundedServer(ConnectionLimits limits, Gate gate, Handler handler, ThreadStarter startThread)
    : limits_(limits),
      gate_(std::move(gate)),
      handler_(std::move(handler)),
      startThread_(startThread ? std::move(startThread) : ThreadStarter(StartStdThread)) {
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
    spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

BoundedServer::~BoundedServer() {
    StopServing();
    for (int descriptor : {listening_, wake_[0], wake_[1], spare_})
        if (descriptor >= 0) ::close(descriptor);
}

int BoundedServer::Bind(const std::string& host, int port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr) {
        error = "not a numeric address";
        return -1;
    }
    const int socket = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // Only SO_REUSEADDR (not SO_REUSEPORT, with which a second server
    // binds the same port and takes half the requests): a port in use is
    // an error.
    const int on = 1;
    const bool listening = socket >= 0 && setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                           ::bind(socket, found->ai_addr, found->ai_addrlen) == 0 && ::listen(socket, SOMAXCONN) == 0;
    freeaddrinfo(found);
    if (!listening) {
        error = std::strerror(errno);
        if (socket >= 0) ::close(socket);
        return -1;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(socket, reinterpret_cast<sockaddr*>(&bound), &length);
    if (listening_ >= 0) ::close(listening_);
    listening_ = socket;
    return bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6&>(bound).sin6_port)
                                       : ntohs(reinterpret_cast<const sockaddr_in&>(bound).sin_port);
}

void BoundedServer::StopServing() {
    stopping_.store(true);
    WakeAcceptor();
    std::lock_guard lock(mutex_);
    work_.notify_all();
}

void BoundedServer::WakeAcceptor() {
    if (wake_[1] < 0) return;
    const ssize_t written = ::write(wake_[1], "x", 1);
    static_cast<void>(written);  // a full pipe wakes it as well
}

void BoundedServer::Run() {
    std::vector<pollfd> waits;
    std::vector<Connection*> waiting;
    while (!stopping_.load() && listening_ >= 0) {
        try {
            TakeReturned();
            waits.clear();
            waiting.clear();
            waits.push_back({wake_[0], POLLIN, 0});
            const bool accepting = Clock::now() >= acceptPausedUntil_;
            waits.push_back({accepting ? listening_ : -1, POLLIN, 0});
            for (const Owned& connection : parked_) {
                waits.push_back({connection->socket, POLLIN, 0});
                waiting.push_back(connection.get());
            }
            if (::poll(waits.data(), waits.size(), WaitMilliseconds()) < 0 && errno != EINTR) break;
            if (waits[0].revents != 0) {
                char drained[64];
                while (::read(wake_[0], drained, sizeof drained) > 0) {
                }
            }
            if (waits[1].revents != 0) Accept();
            // Connections parked by Accept come after `waiting`: only those
            // polled are looked at.
            for (std::size_t i = 0; i < waiting.size(); ++i) {
                if (waits[i + 2].revents == 0) continue;
                const auto it = std::find_if(parked_.begin(), parked_.end(),
                                             [&](const Owned& c) { return c.get() == waiting[i]; });
                if (it == parked_.end()) continue;  // evicted meanwhile
                Owned connection = std::move(*it);
                parked_.erase(it);
                Receive(connection);
                if (connection) Park(std::move(connection));
            }
            CloseExpired();
        } catch (const std::exception&) {
            // Memory ran out for this round's bookkeeping: the connection at
            // hand is gone with its owner; the next round goes on.
        }
    }
    Shutdown();
}

int BoundedServer::WaitMilliseconds() const {
    auto wait = std::chrono::milliseconds(1000);
    const auto now = Clock::now();
    for (const Owned& connection : parked_)
        wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(connection->deadline - now));
    if (now < acceptPausedUntil_) wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(acceptPausedUntil_ - now));
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
}

void BoundedServer::Accept() {
    // A few at a time, so that a connection just taken has its request
    // read before a burst of others could push it out of its slot.
    for (std::size_t taken = 0; taken < kAcceptsPerRound; ++taken) {
        const int socket = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
            if (errno == EMFILE || errno == ENFILE) {
                // No descriptor left: the newcomer idle longest makes room.
                if (EvictOldest(false)) continue;
                return AcceptWithSpareDescriptor();
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) acceptPausedUntil_ = Clock::now() + kAcceptPause;
            return;
        }
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        SetNoDelay(socket);
        connection->deadline = Clock::now() + limits_.idleTime;
        Park(std::move(connection));
    }
}

// No descriptor is left: the one kept for this takes the waiting client,
// tells it so and closes, so that it does not wait in the queue for ever.
void BoundedServer::AcceptWithSpareDescriptor() {
    acceptPausedUntil_ = Clock::now() + kAcceptPause;
    if (spare_ < 0) return;
    ::close(spare_);
    const int socket = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (socket >= 0) {
        SendRefusal(socket, ErrorAnswer(503, "the server has no file descriptor left: try again"));
        ::close(socket);
    }
    spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void BoundedServer::Park(Owned connection) {
    const bool trusted = connection->trusted;
    const std::size_t limit = trusted ? limits_.maxTrustedConnections : limits_.maxNewConnections;
    const auto ofKind = [&] {
        return static_cast<std::size_t>(
            std::count_if(parked_.begin(), parked_.end(), [&](const Owned& c) { return c->trusted == trusted; }));
    };
    while (ofKind() >= limit && EvictOldest(trusted)) {
    }
    connection->parkedAt = Clock::now();
    parked_.push_back(std::move(connection));
}

bool BoundedServer::EvictOldest(bool trusted) {
    auto oldest = parked_.end();
    for (auto it = parked_.begin(); it != parked_.end(); ++it)
        if ((*it)->trusted == trusted && (oldest == parked_.end() || (*it)->parkedAt < (*oldest)->parkedAt)) oldest = it;
    if (oldest == parked_.end()) return false;
    if ((*oldest)->midRequest) SendRefusal((*oldest)->socket, ErrorAnswer(503, "too many connections: try again"));
    parked_.erase(oldest);
    return true;
}

void BoundedServer::Receive(Owned& connection) {
    char chunk[16 * 1024];
    for (;;) {
        const ssize_t got = ::recv(connection->socket, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (got <= 0) {
            connection.reset();
            return;
        }
        if (!connection->midRequest) {
            connection->midRequest = true;
            connection->deadline = Clock::now() + limits_.requestTime;
        }
        connection->buffer.append(chunk, static_cast<std::size_t>(got));
        if (connection->buffer.size() > limits_.maxHeadBytes || HeadEnd(connection->buffer) != std::string::npos) break;
    }
    TakeHead(connection);
}

// A whole head in the buffer is taken as a request; one too large refused.
void BoundedServer::TakeHead(Owned& connection) {
    const std::size_t end = HeadEnd(connection->buffer);
    const std::size_t headBytes = std::min(end, connection->buffer.size());
    const std::string_view head(connection->buffer.data(), headBytes);
    if (headBytes > limits_.maxHeadBytes || LinesIn(head) > limits_.maxHeaderLines + 2)
        return Refuse(connection, ErrorAnswer(431, "the request's headers are too large"));
    if (end == std::string::npos) return;
    std::variant<HttpRequest, HttpAnswer> parsed = ParseHead(head);
    connection->buffer.erase(0, end);
    connection->midRequest = !connection->buffer.empty();
    if (auto* refusal = std::get_if<HttpAnswer>(&parsed)) return Refuse(connection, *refusal);
    HttpRequest& request = std::get<HttpRequest>(parsed);
    if (std::optional<HttpAnswer> refusal = gate_(request)) return Refuse(connection, *refusal);
    Admit(connection, std::move(request));
}

void BoundedServer::Admit(Owned& connection, HttpRequest request) {
    if (!EnsureWorker()) return Refuse(connection, ErrorAnswer(503, "the server cannot start a thread: try again"));
    std::lock_guard lock(mutex_);
    if (queue_.size() >= limits_.maxQueuedRequests)
        return Refuse(connection, ErrorAnswer(503, "too many requests at once: try again"));
    connection->trusted = true;
    queue_.push_back({std::move(connection), std::move(request)});
    work_.notify_one();
}

// A worker for the next request: an idle one, or a new one while fewer than
// the limit run. False when none runs and none can be started.
bool BoundedServer::EnsureWorker() {
    std::lock_guard lock(mutex_);
    if (idleWorkers_ > queue_.size() || workers_.size() >= limits_.workers) return true;
    try {
        workers_.push_back(startThread_([this] { WorkerLoop(); }));
    } catch (const std::exception&) {
        // No thread (std::system_error) or no memory for one: the running
        // workers take the request later, if any runs.
    }
    return !workers_.empty();
}

void BoundedServer::Refuse(Owned& connection, const HttpAnswer& answer) {
    SendRefusal(connection->socket, answer);
    connection.reset();
}

void BoundedServer::TakeReturned() {
    std::vector<Owned> returned;
    {
        std::lock_guard lock(mutex_);
        returned.swap(returned_);
    }
    for (Owned& connection : returned) {
        connection->deadline = Clock::now() + (connection->midRequest ? limits_.requestTime : limits_.idleTime);
        // A request that came with the last one is taken at once.
        if (HeadEnd(connection->buffer) != std::string::npos) TakeHead(connection);
        if (connection) Park(std::move(connection));
    }
}

void BoundedServer::CloseExpired() {
    const auto now = Clock::now();
    for (auto it = parked_.begin(); it != parked_.end();) {
        if ((*it)->deadline > now) {
            ++it;
            continue;
        }
        if ((*it)->midRequest) SendRefusal((*it)->socket, ErrorAnswer(408, "the request came too slowly"));
        it = parked_.erase(it);
    }
}

void BoundedServer::WorkerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idleWorkers_;
        work_.wait(lock, [&] { return stopping_.load() || !queue_.empty(); });
        --idleWorkers_;
        if (stopping_.load()) return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        Serve(std::move(job));
        lock.lock();
    }
}

void BoundedServer::Serve(Job job) {
    Connection& connection = *job.connection;
    HttpAnswer answer;
    try {
        answer = handler_(job.request);
    } catch (const std::exception&) {
        answer = ErrorAnswer(500, "internal error");
    }
    ++connection.served;
    const bool keepAlive = job.request.keepAlive && !job.request.hasBody &&
                           connection.served < limits_.requestsPerConnection && !stopping_.load();
    const std::string head = AnswerHead(answer, keepAlive);
    const bool sent = Write(connection.socket, head.data(), head.size()) &&
                      (job.request.method == "HEAD" || Write(connection.socket, answer.body->data(), answer.body->size()));
    if (!sent || !keepAlive) return;
    std::lock_guard lock(mutex_);
    returned_.push_back(std::move(job.connection));
    WakeAcceptor();
}

// Every byte, each piece within the write time; false when the client
// stopped taking them or the server stops.
bool BoundedServer::Write(int socket, const char* data, std::size_t size) const {
    std::size_t sent = 0;
    auto deadline = Clock::now() + limits_.writeTime;
    while (sent < size) {
        if (stopping_.load() || Clock::now() >= deadline) return false;
        const ssize_t put = ::send(socket, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put > 0) {
            sent += static_cast<std::size_t>(put);
            deadline = Clock::now() + limits_.writeTime;
            continue;
        }
        if (put < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        pollfd writable{socket, POLLOUT, 0};
        ::poll(&writable, 1, static_cast<int>(kStopCheck.count()));
    }
    return true;
}

void BoundedServer::Shutdown() {
    parked_.clear();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        stopping_.store(true);
        work_.notify_all();
        workers.swap(workers_);
    }
    for (std::thread& worker : workers) worker.join();
    std::lock_guard lock(mutex_);
    queue_.clear();
    returned_.clear();
    if (listening_ >= 0) ::close(listening_);
    listening_ = -1;
}

}  // namespace tarnview::server
