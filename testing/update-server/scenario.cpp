// What the test update server answers on each path, and the requests it has seen.
#include "testing/update-server/scenario.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace tvsp::updsrv {

namespace {

struct ModeName {
    BodyMode mode;
    std::string_view name;
    std::int64_t defaultParam;
    std::int64_t maxParam;
};

constexpr std::array<ModeName, 10> kModes = {{
    {BodyMode::Length, "length", 0, 0},
    {BodyMode::Chunked, "chunked", 0, 1 << 20},  // 0: the body in three chunks
    {BodyMode::Close, "close", 0, 0},
    {BodyMode::Drip, "drip", 20, 600000},
    {BodyMode::Endless, "endless", 0, 0},
    {BodyMode::Midclose, "midclose", 0, 0},
    {BodyMode::Bigline, "bigline", 100000, 16 << 20},
    {BodyMode::Hugechunk, "hugechunk", 0, 0},
    {BodyMode::Hold, "hold", 0, 0},
    {BodyMode::Stall, "stall", 0, 0},
}};

const ModeName& Entry(BodyMode mode) {
    for (const ModeName& m : kModes) {
        if (m.mode == mode) return m;
    }
    return kModes[0];
}

// The line the bigline mode pads out to its length.
constexpr std::string_view kBigHeaderName = "X-Tvsp-Big: ";
// Filler of an endless reply with an empty body.
constexpr std::size_t kEndlessPiece = 16384;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// Whether the test's own header lines already carry this field, so the mode does not add its own.
bool HasHeader(std::string_view headers, std::string_view name) {
    const std::string prefix = std::string(name) + ":";
    std::size_t start = 0;
    while (start < headers.size()) {
        std::size_t end = headers.find('\n', start);
        if (end == std::string_view::npos) end = headers.size();
        std::string_view line = headers.substr(start, end - start);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (StartsWithNoCase(line, prefix)) return true;
        start = end + 1;
    }
    return false;
}

std::string Hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value & 0xf]);
        value >>= 4;
    } while (value != 0);
    return out;
}

// Status line, the test's header lines, the mode's header lines (unless the test gave them) and
// "Connection: close" (likewise), then the blank line.
std::string Head(int status, std::string_view extra, const std::vector<std::pair<std::string, std::string>>& own) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(ReasonPhrase(status)) + "\r\n";
    head += extra;
    if (!extra.empty() && extra.back() != '\n') head += "\r\n";
    for (const auto& [name, value] : own) {
        if (!HasHeader(extra, name)) head += name + ": " + value + "\r\n";
    }
    if (!HasHeader(extra, "Connection")) head += "Connection: close\r\n";
    head += "\r\n";
    return head;
}

Step Send(std::string bytes) {
    Step s;
    s.bytes = std::move(bytes);
    return s;
}

ReplyPlan PlanReplyRoute(const ReplyRoute& r) {
    ReplyPlan plan;
    const std::string length = std::to_string(r.body.size());
    const std::int64_t param = r.param > 0 ? r.param : DefaultParam(r.mode);
    switch (r.mode) {
    case BodyMode::Length:
    case BodyMode::Hold:
        plan.steps.push_back(Send(Head(r.status, r.headers, {{"Content-Length", length}}) + r.body));
        if (r.mode == BodyMode::Hold) plan.steps.push_back({Step::Kind::WaitForClose});
        break;
    case BodyMode::Chunked: {
        plan.steps.push_back(Send(Head(r.status, r.headers, {{"Transfer-Encoding", "chunked"}})));
        const std::size_t size =
            param > 0 ? static_cast<std::size_t>(param) : std::max<std::size_t>(1, (r.body.size() + 2) / 3);
        // Each chunk in its own write, so the client meets chunk boundaries apart from read boundaries.
        for (std::size_t at = 0; at < r.body.size(); at += size) {
            const std::string_view piece = std::string_view(r.body).substr(at, size);
            plan.steps.push_back(Send(Hex(piece.size()) + "\r\n" + std::string(piece) + "\r\n"));
        }
        plan.steps.push_back(Send("0\r\nX-Tvsp-Trailer: end\r\n\r\n"));
        break;
    }
    case BodyMode::Close:
        plan.steps.push_back(Send(Head(r.status, r.headers, {}) + r.body));
        break;
    case BodyMode::Drip: {
        plan.steps.push_back(Send(Head(r.status, r.headers, {{"Content-Length", length}})));
        Step drip;
        drip.kind = Step::Kind::Drip;
        drip.bytes = r.body;
        drip.intervalMs = param;
        plan.steps.push_back(std::move(drip));
        break;
    }
    case BodyMode::Endless: {
        plan.steps.push_back(Send(Head(r.status, r.headers, {})));
        Step repeat;
        repeat.kind = Step::Kind::Repeat;
        repeat.bytes = r.body.empty() ? std::string(kEndlessPiece, 'x') : r.body;
        plan.steps.push_back(std::move(repeat));
        break;
    }
    case BodyMode::Midclose:
        plan.steps.push_back(Send(Head(r.status, r.headers, {{"Content-Length", length}}) +
                                  r.body.substr(0, r.body.size() / 2)));
        plan.orderlyClose = false;
        break;
    case BodyMode::Bigline: {
        const std::size_t total = static_cast<std::size_t>(param);
        std::string line(kBigHeaderName);
        if (total > line.size()) line.append(total - line.size(), 'a');
        plan.steps.push_back(Send(Head(r.status, line + "\r\n" + r.headers, {{"Content-Length", length}}) + r.body));
        break;
    }
    case BodyMode::Hugechunk:
        // 2^40 + 1: past any bound a client may set on one chunk.
        plan.steps.push_back(Send(Head(r.status, r.headers, {{"Transfer-Encoding", "chunked"}}) + "10000000001\r\n" +
                                  r.body));
        break;
    case BodyMode::Stall:
        plan.steps.push_back({Step::Kind::WaitForClose});
        break;
    }
    return plan;
}

}  // namespace

std::optional<BodyMode> ParseBodyMode(std::string_view name) {
    for (const ModeName& m : kModes) {
        if (m.name == name) return m.mode;
    }
    return std::nullopt;
}

std::string_view BodyModeName(BodyMode mode) { return Entry(mode).name; }
std::int64_t DefaultParam(BodyMode mode) { return Entry(mode).defaultParam; }
std::int64_t MaxParam(BodyMode mode) { return Entry(mode).maxParam; }

std::string_view ReasonPhrase(int status) {
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Unknown";
    }
}

ReplyPlan PlanStatusOnly(int status) {
    ReplyPlan plan;
    plan.steps.push_back(Send(Head(status, {}, {{"Content-Length", "0"}})));
    return plan;
}

ReplyPlan PlanReply(const Route* route, const FileSizeFn& fileSize) {
    if (route == nullptr) return PlanStatusOnly(404);
    if (const auto* r = std::get_if<ReplyRoute>(route)) return PlanReplyRoute(*r);
    ReplyPlan plan;
    if (const auto* redirect = std::get_if<RedirectRoute>(route)) {
        plan.steps.push_back(
            Send(Head(redirect->status, "Location: " + redirect->location + "\r\n", {{"Content-Length", "0"}})));
    } else if (const auto* raw = std::get_if<RawRoute>(route)) {
        if (!raw->bytes.empty()) plan.steps.push_back(Send(raw->bytes));
    } else if (const auto* f = std::get_if<FileRoute>(route)) {
        const std::optional<std::uint64_t> size = fileSize ? fileSize(f->hostPath) : std::nullopt;
        if (!size) return PlanStatusOnly(500);
        plan.steps.push_back(Send(Head(200, {}, {{"Content-Length", std::to_string(*size)}})));
        Step file;
        file.kind = Step::Kind::SendFile;
        file.path = f->hostPath;
        file.fileSize = *size;
        plan.steps.push_back(std::move(file));
    }
    return plan;
}

const Route* Scenario::Find(std::string_view path) const {
    const auto it = routes_.find(path);
    return it == routes_.end() ? nullptr : &it->second;
}

void Scenario::Clear() {
    routes_.clear();
    ClearRequests();
}

void Scenario::Record(std::string rawRequest) {
    logBytes_ += rawRequest.size();
    requests_.push_back(std::move(rawRequest));
    while (!requests_.empty() && (requests_.size() > kMaxRequests || logBytes_ > kMaxLogBytes)) {
        logBytes_ -= requests_.front().size();
        requests_.pop_front();
    }
}

void Scenario::ClearRequests() {
    requests_.clear();
    logBytes_ = 0;
}

}  // namespace tvsp::updsrv
