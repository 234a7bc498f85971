// The pieces of the server's access rules that need no server: tokens and
// the Host header check.
#include <gtest/gtest.h>

#include <set>

#include "access.h"

namespace {

using tarnview::server::HostCheck;
using tarnview::server::NewToken;
using tarnview::server::TokenMatches;

TEST(ServerToken, FreshTokensAre128BitsOfHexAndDiffer) {
    std::set<std::string> tokens;
    for (int i = 0; i < 100; ++i) {
        const std::string token = NewToken();
        ASSERT_EQ(token.size(), 32u);
        ASSERT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
        tokens.insert(token);
    }
    EXPECT_EQ(tokens.size(), 100u);
}

TEST(ServerToken, OnlyTheWholeTokenMatches) {
    const std::string token = "0123456789abcdef0123456789abcdef";
    EXPECT_TRUE(TokenMatches(token, token));
    EXPECT_FALSE(TokenMatches(token, ""));
    EXPECT_FALSE(TokenMatches(token, token.substr(0, 31)));
    EXPECT_FALSE(TokenMatches(token, token + "0"));
    EXPECT_FALSE(TokenMatches(token, "1123456789abcdef0123456789abcdef"));
    EXPECT_FALSE(TokenMatches(token, "0123456789abcdef0123456789abcdeF"));
    EXPECT_FALSE(TokenMatches("", "x"));
}

TEST(ServerHostCheck, LoopbackAcceptsItsAddressAndLocalhostOnItsPort) {
    const HostCheck check("127.0.0.1", 8123);
    EXPECT_TRUE(check.Accepts("127.0.0.1:8123"));
    EXPECT_TRUE(check.Accepts("localhost:8123"));
    EXPECT_TRUE(check.Accepts("LocalHost:8123"));
    EXPECT_FALSE(check.Accepts("evil.example:8123"));        // a rebound name
    EXPECT_FALSE(check.Accepts("localhost.evil.example:8123"));
    EXPECT_FALSE(check.Accepts("127.0.0.1:8124"));
    EXPECT_FALSE(check.Accepts("127.0.0.1"));
    EXPECT_FALSE(check.Accepts("localhost"));
    EXPECT_FALSE(check.Accepts(""));
}

TEST(ServerHostCheck, OtherAddressesAcceptOnlyThemselves) {
    const HostCheck ipv6("::1", 80);
    EXPECT_TRUE(ipv6.Accepts("[::1]:80"));
    EXPECT_TRUE(ipv6.Accepts("localhost:80"));
    EXPECT_FALSE(ipv6.Accepts("::1:80"));
    const HostCheck lan("192.168.1.5", 9000);
    EXPECT_TRUE(lan.Accepts("192.168.1.5:9000"));
    EXPECT_FALSE(lan.Accepts("localhost:9000"));
}

TEST(ServerHostCheck, WildcardAcceptsAnyNameOnItsPort) {
    const HostCheck check("0.0.0.0", 9000);
    EXPECT_TRUE(check.Accepts("workstation.lan:9000"));
    EXPECT_TRUE(check.Accepts("127.0.0.1:9000"));
    EXPECT_FALSE(check.Accepts("workstation.lan:9001"));
    EXPECT_FALSE(check.Accepts(":9000"));
    EXPECT_FALSE(check.Accepts("user@workstation.lan:9000"));
}

}  // namespace

namespace {

// Every spelling of an address that may be given to listen on: strict
// numeric forms only, each with what it reaches.
TEST(ServerListenAddress, ReadsOnlyNumericAddressesAndKnowsWhatTheyReach) {
    struct Spelling {
        const char* given;
        std::optional<tarnview::server::ListenAddress> read;
    };
    using tarnview::server::ListenAddress;
    const Spelling spellings[] = {
        {"127.0.0.1", ListenAddress{"127.0.0.1", true, false}},
        {"127.9.8.7", ListenAddress{"127.9.8.7", true, false}},
        {"localhost", ListenAddress{"127.0.0.1", true, false}},
        {"::1", ListenAddress{"::1", true, false}},
        {"0:0:0:0:0:0:0:1", ListenAddress{"::1", true, false}},
        {"::ffff:127.0.0.1", ListenAddress{"::ffff:127.0.0.1", true, false}},
        {"0.0.0.0", ListenAddress{"0.0.0.0", false, true}},
        {"::", ListenAddress{"::", false, true}},
        {"::0", ListenAddress{"::", false, true}},
        {"0:0:0:0:0:0:0:0", ListenAddress{"::", false, true}},
        {"::ffff:0.0.0.0", ListenAddress{"::ffff:0.0.0.0", false, true}},
        {"192.168.1.5", ListenAddress{"192.168.1.5", false, false}},
        {"fd00::5", ListenAddress{"fd00::5", false, false}},
        {"", std::nullopt},
        {"0", std::nullopt},
        {"0x0", std::nullopt},
        {"000.000.000.000", std::nullopt},
        {"127.1", std::nullopt},
        {"127.000.000.001", std::nullopt},
        {"2130706433", std::nullopt},
        {" 127.0.0.1", std::nullopt},
        {"[::1]", std::nullopt},
        {"::1%lo", std::nullopt},
        {"example.org", std::nullopt},
        {"LOCALHOST", std::nullopt},
    };
    for (const Spelling& spelling : spellings) {
        SCOPED_TRACE(spelling.given);
        const auto read = tarnview::server::ParseListenAddress(spelling.given);
        ASSERT_EQ(read.has_value(), spelling.read.has_value());
        if (!read) continue;
        EXPECT_EQ(read->text, spelling.read->text);
        EXPECT_EQ(read->loopback, spelling.read->loopback);
        EXPECT_EQ(read->wildcard, spelling.read->wildcard);
    }
}

}  // namespace
