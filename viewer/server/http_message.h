// HTTP/1.1 as the server speaks it: a request's head read from its bytes
// (request line, headers, the query's parameters decoded), and an answer
// put into bytes. The server takes requests without a body only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace tarnview::server {

// The longest request target taken (a longer one is answered 414).
constexpr std::size_t kMaxTargetBytes = 8 * 1024;
// The largest body announced that is still answered (and then the
// connection closed, as the body is never read); beyond it, 413.
constexpr std::size_t kMaxBodyBytes = 4096;

using Fields = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;
    std::string path;  // percent-decoded, without the query
    Fields parameters;  // the query's, decoded, in their order
    Fields headers;     // names as sent
    bool keepAlive = true;  // the client keeps the connection for another request
    bool hasBody = false;   // a body was announced (it is never read)

    // The first value of a header (names in any case) or parameter; nullptr
    // when absent.
    const std::string* Header(std::string_view name) const;
    const std::string* Parameter(std::string_view name) const;
};

struct HttpAnswer {
    int status = 200;
    std::string contentType = "application/json; charset=utf-8";
    std::shared_ptr<const std::string> body = std::make_shared<const std::string>();
    Fields headers;  // beyond the common ones
};

// An answer of the server's own (an error): `{"error": message}`.
HttpAnswer ErrorAnswer(int status, std::string_view message);

// The end of a request's head in `bytes` (after its empty line), or npos.
std::size_t HeadEnd(std::string_view bytes);

// A request's head (without the final empty line) read, or the answer that
// refuses it (400, 413, 414, 505).
std::variant<HttpRequest, HttpAnswer> ParseHead(std::string_view head);

// The status line and headers of `answer` (with the common headers and the
// body's length, and whether the connection stays open).
std::string AnswerHead(const HttpAnswer& answer, bool keepAlive);

std::string_view ReasonOf(int status);

}  // namespace tarnview::server
