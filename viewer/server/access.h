// Who may talk to the server: the token printed in the URL, and Host
// headers naming the address the server is bound to (a page of another site
// that points its own name at 127.0.0.1 sends its own name as Host).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnview::server {

// A fresh token: 32 hex digits (128 bits) from the system's random source.
std::string NewToken();

// True when `given` equals `expected`; takes the same time wherever the two
// first differ.
bool TokenMatches(std::string_view expected, std::string_view given);

// The Host header values a server bound to `host`:`port` accepts: the
// address itself, and `localhost` for a loopback address. A wildcard bind
// (0.0.0.0 or ::) is reachable under any name, so it accepts any host name
// with the bound port.
class HostCheck {
public:
    HostCheck(std::string_view host, int port);
    bool Accepts(std::string_view hostHeader) const;

private:
    std::vector<std::string> accepted_;
    std::string portSuffix_;
    bool anyName_ = false;
};

bool IsLoopbackAddress(std::string_view host);
bool IsWildcardAddress(std::string_view host);

// An address to listen on, read strictly: "localhost" (127.0.0.1) or an
// IPv4 address in four decimal parts or an IPv6 address, without brackets,
// zone or blanks.  Nothing for any other text: empty, a host name, or a
// spelling such as "0", "0x0" or "000.000.000.000" that the resolver would
// take for every address.
struct ListenAddress {
    std::string text;   // canonical: "0.0.0.0", "::", "::ffff:0.0.0.0", "127.0.0.1"
    bool loopback = false;  // reachable from this machine only
    bool wildcard = false;  // every address of the machine
};
std::optional<ListenAddress> ParseListenAddress(std::string_view host);

}  // namespace tarnview::server
