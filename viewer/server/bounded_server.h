// The server's connections, every one bounded. One thread accepts
// connections and waits on all of them for a request's head (read whole,
// at most maxHeadBytes in at most maxHeaderLines lines, within requestTime
// of its first byte; a kept-alive connection idle for idleTime is closed).
// A complete head is put to the gate on that thread: a request it refuses
// (no token, a foreign host) is answered there and its connection closed,
// so such clients never hold a worker or a slot for long. An admitted
// request goes to a pool of at most `workers` threads, started as work
// comes and never one per connection.
//
// Slots are kept per kind of client: at most maxNewConnections that have
// not yet sent an admitted request, at most maxTrustedConnections kept
// alive after one. When a kind is full, its connection that has waited
// longest is closed to make room: no number of idle or refused clients
// keeps out one that brings a request. A process resource that runs out
// (descriptors, memory, threads) refuses the connection or request at hand
// with an answer when it can, and the server goes on.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "http_message.h"

namespace tarnview::server {

struct ConnectionLimits {
    std::size_t maxNewConnections = 256;
    std::size_t maxTrustedConnections = 64;
    std::size_t workers = 8;
    std::size_t maxQueuedRequests = 64;  // admitted, waiting for a worker
    std::size_t maxHeadBytes = 64 * 1024;
    std::size_t maxHeaderLines = 100;
    std::chrono::milliseconds requestTime{5000};   // from a request's first byte to its end
    std::chrono::milliseconds idleTime{2000};      // for a connection's next request
    std::chrono::milliseconds writeTime{5000};     // for each piece of an answer the client takes
    std::size_t requestsPerConnection = 100;
};

// Decides on a request before it takes a worker: nothing admits it, an
// answer refuses it.
using Gate = std::function<std::optional<HttpAnswer>(const HttpRequest&)>;
using Handler = std::function<HttpAnswer(const HttpRequest&)>;
// Starts a thread running its argument (std::thread's way by default; it
// may throw std::system_error as std::thread does).
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

class BoundedServer {
public:
    BoundedServer(ConnectionLimits limits, Gate gate, Handler handler, ThreadStarter startThread = {});
    ~BoundedServer();
    BoundedServer(const BoundedServer&) = delete;
    BoundedServer& operator=(const BoundedServer&) = delete;

    // Listens on `host` (a numeric address) and `port` (0: any free port);
    // the port, or -1 with `error` set.
    int Bind(const std::string& host, int port, std::string& error);
    // Serves until StopServing (at once if that came first), then closes
    // every connection and joins every worker.
    void Run();
    // Ends Run; every connection ends at its next wait.
    void StopServing();
    const ConnectionLimits& limits() const { return limits_; }

private:
    struct Connection {
        int socket = -1;
        std::string buffer;  // bytes received and not yet taken as a request
        std::chrono::steady_clock::time_point deadline;  // for the next request, or the rest of this one
        std::chrono::steady_clock::time_point parkedAt;
        bool trusted = false;      // a request of it was admitted
        bool midRequest = false;   // the buffer holds part of a head
        std::size_t served = 0;
        ~Connection();
    };
    using Owned = std::unique_ptr<Connection>;
    struct Job {
        Owned connection;
        HttpRequest request;
    };

    void WakeAcceptor();
    void Accept();
    void AcceptWithSpareDescriptor();
    void Park(Owned connection);
    bool EvictOldest(bool trusted);
    void Receive(Owned& connection);
    void TakeHead(Owned& connection);
    void Admit(Owned& connection, HttpRequest request);
    bool EnsureWorker();
    void TakeReturned();
    void CloseExpired();
    void Refuse(Owned& connection, const HttpAnswer& answer);
    void WorkerLoop();
    void Serve(Job job);
    bool Write(int socket, const char* data, std::size_t size) const;
    int WaitMilliseconds() const;
    void Shutdown();

    ConnectionLimits limits_;
    Gate gate_;
    Handler handler_;
    ThreadStarter startThread_;
    int listening_ = -1;
    int wake_[2] = {-1, -1};
    int spare_ = -1;  // a descriptor kept to answer a client when none is left
    std::atomic<bool> stopping_{false};
    std::chrono::steady_clock::time_point acceptPausedUntil_{};

    std::vector<Owned> parked_;  // waiting for a request (accept thread only)

    std::mutex mutex_;  // guards the rest
    std::condition_variable work_;
    std::deque<Job> queue_;
    std::vector<Owned> returned_;  // kept alive by a worker, to park again
    std::vector<std::thread> workers_;
    std::size_t idleWorkers_ = 0;
};

}  // namespace tarnview::server
