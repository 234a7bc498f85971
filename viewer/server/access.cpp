#include "access.h"

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

bool IsLoopbackAddress(std::string_view host) {
    return host == "::1" || host == "localhost" || host.starts_with("127.");
}

bool IsWildcardAddress(std::string_view host) { return host == "0.0.0.0" || host == "::" || host.empty(); }

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
