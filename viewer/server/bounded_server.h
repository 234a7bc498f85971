// cpp-httplib's server with the bounds it has no setting for, put in front
// of its request parsing: each connection on a thread of its own (so idle
// and slow clients never hold up another), at most kMaxConnections of them;
// a request's head (request line and headers) read whole before the library
// sees it, at most kMaxHeadBytes in at most kMaxHeaderLines lines, and the
// whole request within kRequestSeconds of its first byte; answers sent at
// once (TCP_NODELAY); and every wait cut short by a stop.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace tarnview::server {

struct ConnectionLimits {
    std::size_t maxConnections = 256;
    std::size_t maxHeadBytes = 64 * 1024;
    std::size_t maxHeaderLines = 100;
    std::chrono::milliseconds requestTime{5000};   // from a request's first byte to its end
    std::chrono::milliseconds idleTime{2000};      // between requests of a kept-alive connection
    std::chrono::milliseconds writeTime{5000};     // for each piece of an answer the client takes
    std::size_t requestsPerConnection = 100;
};

class BoundedServer : public httplib::Server {
public:
    explicit BoundedServer(ConnectionLimits limits = {});
    // Binds as bind_to_port (port 0: any free port) and widens the queue of
    // connections not yet accepted (the library's is 5, so that a burst of
    // connections has clients wait seconds to be let in); the port, or -1.
    int Bind(const std::string& host, int port);
    // Stops serving: closes the listening socket whether or not the
    // library's loop has started (its own stop does nothing before, so a
    // stop asked for just before would be lost); every connection ends at
    // its next wait.
    void StopServing();
    bool Stopping() const { return svr_sock_ == INVALID_SOCKET; }
    const ConnectionLimits& limits() const { return limits_; }

private:
    bool process_and_close_socket(socket_t sock) override;
    ConnectionLimits limits_;
};

}  // namespace tarnview::server
