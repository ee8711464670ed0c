// HTTP/1.1 messages of the update client: URL split, request bytes, response parsing, redirects.
#include "update/http_message.h"

#include <algorithm>
#include <climits>
#include <new>

namespace TVSP {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// Spaces and control characters would break the request line or inject header lines.
bool HasUnsafeByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= 0x20 || u == 0x7F;
    });
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

constexpr std::string_view kScheme = "http://";

}  // namespace

std::optional<HttpUrl> SplitHttpUrl(std::string_view url) {
    if (!StartsWithNoCase(url, kScheme) || HasUnsafeByte(url)) return std::nullopt;
    std::string_view rest = url.substr(kScheme.size());
    const std::size_t authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view tail = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    // Credentials in the URL are never sent: such a URL is refused rather than half understood.
    if (authority.find('@') != std::string_view::npos) return std::nullopt;

    HttpUrl result;
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        result.host = std::string(authority.substr(1, close - 1));
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            portText = after.substr(1);
            if (portText.empty()) return std::nullopt;
        }
    } else {
        const std::size_t colon = authority.find(':');
        result.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty()) return std::nullopt;
        }
    }
    if (result.host.empty()) return std::nullopt;
    if (!portText.empty()) {
        if (portText.size() > 5) return std::nullopt;
        unsigned port = 0;
        for (char c : portText) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + static_cast<unsigned>(c - '0');
        }
        if (port == 0 || port > 65535) return std::nullopt;
        result.port = port;
    }
    // The fragment stays with the client.
    tail = tail.substr(0, tail.find('#'));
    if (tail.empty()) {
        result.pathAndQuery = "/";
    } else if (tail.front() == '?') {
        result.pathAndQuery = "/" + std::string(tail);
    } else {
        result.pathAndQuery = std::string(tail);
    }
    return result;
}

std::string BuildGetRequest(const HttpUrl& url) {
    std::string request;
    request.reserve(64 + url.pathAndQuery.size() + url.host.size());
    request += "GET ";
    request += url.pathAndQuery;
    request += " HTTP/1.1\r\n";
    request += "Host: ";
    request += url.host;
    request += "\r\n";
    request += "User-Agent: Microsoft-ATL-Native/9.00\r\n";
    request += "\r\n";
    return request;
}

std::optional<HttpUrl> ResolveLocation(const HttpUrl& base, std::string_view location) {
    location = Trim(location);
    if (location.empty() || HasUnsafeByte(location)) return std::nullopt;
    if (StartsWithNoCase(location, kScheme)) return SplitHttpUrl(location);
    if (location.size() >= 2 && location[0] == '/' && location[1] == '/') {
        return SplitHttpUrl("http:" + std::string(location));
    }
    // Another scheme ("https:", "ftp:") cannot be followed by this engine.
    const std::size_t colon = location.find(':');
    const std::size_t slash = location.find_first_of("/?#");
    if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash)) return std::nullopt;

    HttpUrl target = base;
    location = location.substr(0, location.find('#'));
    if (location.empty()) return target;
    if (location.front() == '/') {
        target.pathAndQuery = std::string(location);
    } else if (location.front() == '?') {
        const std::string_view path = std::string_view(base.pathAndQuery).substr(0, base.pathAndQuery.find('?'));
        target.pathAndQuery = std::string(path) + std::string(location);
    } else {
        const std::string_view path = std::string_view(base.pathAndQuery).substr(0, base.pathAndQuery.find('?'));
        const std::size_t lastSlash = path.rfind('/');
        const std::string folder = lastSlash == std::string_view::npos ? "/" : std::string(path.substr(0, lastSlash + 1));
        target.pathAndQuery = folder + std::string(location);
    }
    return target;
}

HttpStatusClass ClassifyHttpStatus(int status) {
    if ((status >= 200 && status <= 206) || status == 304 || status == 305) return HttpStatusClass::Success;
    if (status >= 301 && status <= 303) return HttpStatusClass::Redirect;
    return HttpStatusClass::Failure;
}

HttpResponseParser::HttpResponseParser(HttpLimits limits) : limits_(limits) {}

HttpResponseParser::Progress HttpResponseParser::Fail(HttpParseError error) {
    state_ = State::Failed;
    error_ = error;
    return Progress::Failed;
}

bool HttpResponseParser::TakeLine(const char*& data, const char* end, std::size_t limit, bool countAsHeader) {
    const char* newline = static_cast<const char*>(std::find(data, end, '\n'));
    const std::size_t take = static_cast<std::size_t>(newline - data) + (newline != end ? 1 : 0);
    if (countAsHeader) {
        headerBytes_ += take;
        if (headerBytes_ > limits_.maxHeaderBytes) {
            Fail(HttpParseError::HeadersTooLarge);
            return false;
        }
    }
    line_.append(data, static_cast<std::size_t>(newline - data));
    data += take;
    // The limit counts the line's text; its CR LF may come on top.
    if (line_.size() > limit + 1) {
        Fail(HttpParseError::LineTooLong);
        return false;
    }
    if (newline == end) return false;
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.size() > limit) {
        Fail(HttpParseError::LineTooLong);
        return false;
    }
    return true;
}

bool HttpResponseParser::HandleStatusLine() {
    // "HTTP/1.x SSS reason": the reason may be empty or absent.
    std::string_view line = line_;
    if (!StartsWithNoCase(line, "HTTP/")) return false;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4) return false;
    int status = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        status = status * 10 + (line[i] - '0');
    }
    if (line.size() > space + 4 && line[space + 4] != ' ') return false;
    if (status < 100) return false;
    status_ = status;
    return true;
}

bool HttpResponseParser::HandleHeaderLine() {
    if (line_.front() == ' ' || line_.front() == '\t') {
        // A folded line continues the previous header's value.
        if (headers_.empty()) return false;
        headers_.back().second += ' ';
        headers_.back().second += std::string(Trim(line_));
        return true;
    }
    const std::size_t colon = line_.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    const std::string_view name = Trim(std::string_view(line_).substr(0, colon));
    if (name.empty()) return false;
    headers_.emplace_back(std::string(name), std::string(Trim(std::string_view(line_).substr(colon + 1))));
    return true;
}

std::optional<std::string> HttpResponseParser::Header(std::string_view name) const {
    for (const auto& [key, value] : headers_) {
        if (EqualNoCase(key, name)) return value;
    }
    return std::nullopt;
}

void HttpResponseParser::StartBody() {
    if (status_ >= 100 && status_ < 200) {
        // An interim answer: the real one follows on the same connection.
        headers_.clear();
        status_ = -1;
        state_ = State::StatusLine;
        return;
    }
    if (status_ == 204 || status_ == 304) {
        state_ = State::Done;
        return;
    }
    if (const auto coding = Header("Transfer-Encoding")) {
        std::string_view codings = *coding;
        const std::size_t comma = codings.rfind(',');
        if (comma != std::string_view::npos) codings = codings.substr(comma + 1);
        if (EqualNoCase(Trim(codings), "chunked")) {
            chunked_ = true;
            state_ = State::ChunkSize;
            return;
        }
    }
    if (const auto length = Header("Content-Length")) {
        const std::string_view digits = Trim(*length);
        std::uint64_t value = 0;
        if (digits.empty() || digits.size() > 19) {
            Fail(digits.empty() ? HttpParseError::MalformedHeader : HttpParseError::BodyTooLarge);
            return;
        }
        for (char c : digits) {
            if (c < '0' || c > '9') {
                Fail(HttpParseError::MalformedHeader);
                return;
            }
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value > limits_.maxBodyBytes) {
            Fail(HttpParseError::BodyTooLarge);
            return;
        }
        lengthKnown_ = true;
        remaining_ = value;
        try {
            body_.reserve(static_cast<std::size_t>(value));
        } catch (const std::bad_alloc&) {
            Fail(HttpParseError::BodyTooLarge);
            return;
        }
        state_ = value == 0 ? State::Done : State::Body;
        return;
    }
    state_ = State::Body;  // until the server closes
}

bool HttpResponseParser::AppendBody(const char* data, std::size_t length) {
    if (length > limits_.maxBodyBytes - body_.size()) {
        Fail(HttpParseError::BodyTooLarge);
        return false;
    }
    try {
        body_.append(data, length);
    } catch (const std::bad_alloc&) {
        Fail(HttpParseError::BodyTooLarge);
        return false;
    }
    return true;
}

HttpResponseParser::Progress HttpResponseParser::Feed(const char* data, std::size_t length) {
    const char* end = data + length;
    while (data < end) {
        switch (state_) {
        case State::Done:
            return Progress::Complete;
        case State::Failed:
            return Progress::Failed;
        case State::StatusLine:
            if (!TakeLine(data, end, limits_.maxHeaderLineBytes, true)) break;
            if (!HandleStatusLine()) return Fail(HttpParseError::MalformedStatusLine);
            line_.clear();
            state_ = State::Headers;
            break;
        case State::Headers:
            if (!TakeLine(data, end, limits_.maxHeaderLineBytes, true)) break;
            if (line_.empty()) {
                StartBody();
            } else if (!HandleHeaderLine()) {
                return Fail(HttpParseError::MalformedHeader);
            }
            line_.clear();
            break;
        case State::Body: {
            std::size_t take = static_cast<std::size_t>(end - data);
            if (lengthKnown_) take = static_cast<std::size_t>(std::min<std::uint64_t>(take, remaining_));
            if (!AppendBody(data, take)) return Progress::Failed;
            data += take;
            if (lengthKnown_) {
                remaining_ -= take;
                if (remaining_ == 0) state_ = State::Done;
            }
            break;
        }
        case State::ChunkSize: {
            if (!TakeLine(data, end, limits_.maxChunkSizeLineBytes, false)) break;
            std::string_view line = line_;
            line = Trim(line.substr(0, line.find(';')));
            if (line.empty() || line.size() > 16) return Fail(line.empty() ? HttpParseError::MalformedChunk
                                                                           : HttpParseError::BodyTooLarge);
            std::uint64_t size = 0;
            for (char c : line) {
                int digit;
                if (c >= '0' && c <= '9') digit = c - '0';
                else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
                else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
                else return Fail(HttpParseError::MalformedChunk);
                size = size * 16 + static_cast<unsigned>(digit);
            }
            line_.clear();
            if (size > limits_.maxBodyBytes - body_.size()) return Fail(HttpParseError::BodyTooLarge);
            if (size == 0) {
                state_ = State::Trailers;
            } else {
                remaining_ = size;
                state_ = State::ChunkData;
            }
            break;
        }
        case State::ChunkData: {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::size_t>(end - data), remaining_));
            if (!AppendBody(data, take)) return Progress::Failed;
            data += take;
            remaining_ -= take;
            if (remaining_ == 0) state_ = State::ChunkDataEnd;
            break;
        }
        case State::ChunkDataEnd:
            if (!TakeLine(data, end, limits_.maxChunkSizeLineBytes, false)) break;
            if (!line_.empty()) return Fail(HttpParseError::MalformedChunk);
            state_ = State::ChunkSize;
            break;
        case State::Trailers:
            if (!TakeLine(data, end, limits_.maxHeaderLineBytes, true)) break;
            // Trailer fields carry nothing the client uses.
            if (line_.empty()) state_ = State::Done;
            line_.clear();
            break;
        }
        if (state_ == State::Failed) return Progress::Failed;
    }
    if (state_ == State::Done) return Progress::Complete;
    if (state_ == State::Failed) return Progress::Failed;
    return Progress::NeedMore;
}

HttpResponseParser::Progress HttpResponseParser::Finish() {
    if (state_ == State::Done) return Progress::Complete;
    if (state_ == State::Failed) return Progress::Failed;
    if (state_ == State::Body && !lengthKnown_) {
        state_ = State::Done;
        return Progress::Complete;
    }
    if (state_ == State::StatusLine) return Fail(HttpParseError::MalformedStatusLine);
    return Fail(HttpParseError::Truncated);
}

int ProgressTotalFromContentLength(std::string_view value) {
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || (value[i] >= '\t' && value[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    long long magnitude = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (value[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) magnitude = static_cast<long long>(INT_MAX) + 1;
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<long long>(signedValue, INT_MIN, INT_MAX));
}

}  // namespace TVSP
