#include "access.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdint>
#include <random>

namespace tarnview::server {

std::string NewToken() {
    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device source;  // getrandom(2) / /dev/urandom
    std::string token;
    for (int word = 0; word < 4; ++word) {
        std::uint32_t bits = source();
        for (int digit = 0; digit < 8; ++digit, bits >>= 4) token += kHex[bits & 15];
    }
    return token;
}

bool TokenMatches(std::string_view expected, std::string_view given) {
    unsigned char difference = expected.size() == given.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>(expected[i] ^ (i < given.size() ? given[i] : 0));
    return difference == 0;
}

std::optional<ListenAddress> ParseListenAddress(std::string_view host) {
    if (host == "localhost") return ListenAddress{"127.0.0.1", true, false};
    const std::string text(host);
    char canonical[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        inet_ntop(AF_INET, &v4, canonical, sizeof canonical);
        const std::uint32_t address = ntohl(v4.s_addr);
        return ListenAddress{canonical, address >> 24 == 127, address == 0};
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return std::nullopt;
    inet_ntop(AF_INET6, &v6, canonical, sizeof canonical);
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {  // ::ffff:a.b.c.d is the IPv4 address a.b.c.d
        const std::uint8_t* bytes = v6.s6_addr;
        const bool anyV4 = bytes[12] == 0 && bytes[13] == 0 && bytes[14] == 0 && bytes[15] == 0;
        return ListenAddress{canonical, bytes[12] == 127, anyV4};
    }
    return ListenAddress{canonical, IN6_IS_ADDR_LOOPBACK(&v6) != 0, IN6_IS_ADDR_UNSPECIFIED(&v6) != 0};
}

bool IsLoopbackAddress(std::string_view host) {
    const std::optional<ListenAddress> address = ParseListenAddress(host);
    return address && address->loopback;
}

bool IsWildcardAddress(std::string_view host) {
    const std::optional<ListenAddress> address = ParseListenAddress(host);
    return address && address->wildcard;
}

namespace {

// How the address appears in a Host header: IPv6 literals in brackets.
std::string HostHeaderName(std::string_view host) {
    std::string name;
    const bool bracketed = host.find(':') != std::string_view::npos;
    if (bracketed) name += '[';
    name.append(host);
    if (bracketed) name += ']';
    return name;
}

std::string Lowercase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return lower;
}

}  // namespace

HostCheck::HostCheck(std::string_view host, int port)
    : portSuffix_(std::string(1, ':').append(std::to_string(port))), anyName_(IsWildcardAddress(host)) {
    accepted_.push_back(Lowercase(HostHeaderName(host)) + portSuffix_);
    if (IsLoopbackAddress(host)) {
        accepted_.push_back("localhost" + portSuffix_);
    }
}

bool HostCheck::Accepts(std::string_view hostHeader) const {
    const std::string header = Lowercase(hostHeader);
    if (anyName_) {
        return header.size() > portSuffix_.size() && header.ends_with(portSuffix_) &&
               header.find_first_of(" /\\@") == std::string::npos;
    }
    return std::find(accepted_.begin(), accepted_.end(), header) != accepted_.end();
}

}  // namespace tarnview::server
