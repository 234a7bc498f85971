#include "http_message.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "replies.h"

namespace tarnview::server {

namespace {

// What every answer carries: no caching of data, no sniffing of types, no
// framing, and no Referer (which would hand the token to other sites).
constexpr std::string_view kCommonHeaders =
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Referrer-Policy: no-referrer\r\n";

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

std::optional<int> HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return std::nullopt;
}

// %XX decoded (a malformed escape kept as it is); in a query, '+' is a blank.
std::string Decoded(std::string_view text, bool query) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) && HexDigit(text[i + 2])) {
            out += static_cast<char>(*HexDigit(text[i + 1]) * 16 + *HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += query && c == '+' ? ' ' : c;
        }
    }
    return out;
}

Fields QueryParameters(std::string_view query) {
    Fields parameters;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty()) continue;
        const std::size_t equals = pair.find('=');
        parameters.emplace_back(Decoded(pair.substr(0, equals), true),
                                equals == std::string_view::npos ? std::string() : Decoded(pair.substr(equals + 1), true));
    }
    return parameters;
}

bool IsTokenCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// A header value may hold tabs and visible bytes (UTF-8 and other high bytes
// included), no other controls.
bool IsFieldValue(std::string_view value) {
    return std::none_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t') || byte == 0x7F;
    });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The head's lines, without their line ends.
std::vector<std::string_view> LinesOf(std::string_view head) {
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        const std::size_t end = head.find('\n');
        std::string_view line = head.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        head = end == std::string_view::npos ? std::string_view() : head.substr(end + 1);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

HttpAnswer BadRequest(std::string_view why) { return ErrorAnswer(400, why); }

// The request line: method, target and version, one blank between each.
std::optional<HttpAnswer> ReadRequestLine(std::string_view line, HttpRequest& request, bool& http10) {
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos)
        return BadRequest("malformed request line");
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (method.empty() || !std::all_of(method.begin(), method.end(), IsTokenCharacter))
        return BadRequest("malformed method");
    if (target.size() > kMaxTargetBytes) return ErrorAnswer(414, "the request's address is too long");
    if (target.empty() || target.front() != '/' || !IsFieldValue(target) || target.find_first_of(" \t") != target.npos)
        return BadRequest("malformed request target");
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        if (version.starts_with("HTTP/")) return ErrorAnswer(505, "only HTTP/1.0 and HTTP/1.1 are spoken");
        return BadRequest("malformed protocol version");
    }
    http10 = version == "HTTP/1.0";
    request.method = method;
    const std::size_t question = target.find('?');
    request.path = Decoded(target.substr(0, question), false);
    if (question != std::string_view::npos) request.parameters = QueryParameters(target.substr(question + 1));
    return std::nullopt;
}

std::optional<HttpAnswer> ReadHeader(std::string_view line, HttpRequest& request) {
    const std::size_t colon = line.find(':');
    const std::string_view name = line.substr(0, colon);
    if (colon == std::string_view::npos || name.empty() || !std::all_of(name.begin(), name.end(), IsTokenCharacter))
        return BadRequest("malformed header line");
    const std::string_view value = Trimmed(line.substr(colon + 1));
    if (!IsFieldValue(value)) return BadRequest("a header holds a control character");
    request.headers.emplace_back(name, value);
    return std::nullopt;
}

// Whether the connection stays open, and whether a body was announced.
std::optional<HttpAnswer> ReadFraming(HttpRequest& request, bool http10) {
    const std::string* connection = request.Header("Connection");
    const auto says = [&](std::string_view word) {
        if (connection == nullptr) return false;
        std::string lower = *connection;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return static_cast<char>(c | 0x20); });
        return lower.find(word) != std::string::npos;
    };
    request.keepAlive = http10 ? says("keep-alive") : !says("close");
    if (request.Header("Transfer-Encoding") != nullptr) request.hasBody = true;
    if (const std::string* length = request.Header("Content-Length")) {
        std::size_t bytes = 0;
        const auto [end, error] = std::from_chars(length->data(), length->data() + length->size(), bytes);
        if (length->empty() || error == std::errc::result_out_of_range) return ErrorAnswer(413, "the request's body is too large");
        if (error != std::errc() || end != length->data() + length->size()) return BadRequest("malformed Content-Length");
        if (bytes > kMaxBodyBytes) return ErrorAnswer(413, "the request's body is too large");
        if (bytes > 0) request.hasBody = true;
    }
    return std::nullopt;
}

}  // namespace

const std::string* HttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (SameLetters(key, name)) return &value;
    return nullptr;
}

const std::string* HttpRequest::Parameter(std::string_view name) const {
    for (const auto& [key, value] : parameters)
        if (key == name) return &value;
    return nullptr;
}

HttpAnswer ErrorAnswer(int status, std::string_view message) {
    HttpAnswer answer;
    answer.status = status;
    answer.body = std::make_shared<const std::string>(ErrorReply(status, message).body);
    return answer;
}

std::size_t HeadEnd(std::string_view bytes) {
    const std::size_t crlf = bytes.find("\r\n\r\n");
    const std::size_t lf = bytes.find("\n\n");
    return std::min(crlf == std::string_view::npos ? crlf : crlf + 4, lf == std::string_view::npos ? lf : lf + 2);
}

std::variant<HttpRequest, HttpAnswer> ParseHead(std::string_view head) {
    const std::vector<std::string_view> lines = LinesOf(head);
    if (lines.empty()) return BadRequest("empty request");
    HttpRequest request;
    bool http10 = false;
    if (auto refused = ReadRequestLine(lines.front(), request, http10)) return *refused;
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (auto refused = ReadHeader(lines[i], request)) return *refused;
    if (auto refused = ReadFraming(request, http10)) return *refused;
    return request;
}

std::string_view ReasonOf(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 408: return "Request Timeout";
        case 413: return "Payload Too Large";
        case 414: return "URI Too Long";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        case 505: return "HTTP Version Not Supported";
        default: return "Unknown";
    }
}

std::string AnswerHead(const HttpAnswer& answer, bool keepAlive) {
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " ";
    head += ReasonOf(answer.status);
    head += "\r\nContent-Type: " + answer.contentType;
    head += "\r\nContent-Length: " + std::to_string(answer.body->size());
    head += keepAlive ? "\r\nConnection: keep-alive\r\n" : "\r\nConnection: close\r\n";
    head += kCommonHeaders;
    for (const auto& [name, value] : answer.headers) head += name + ": " + value + "\r\n";
    head += "\r\n";
    return head;
}

}  // namespace tarnview::server
