// What the test update server answers on each path, and the requests it has seen.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tvsp::updsrv {

// How a reply's body is delimited and sent; several are deliberately broken.
enum class BodyMode {
    Length,     // Content-Length
    Chunked,    // Transfer-Encoding: chunked, a few chunks and a trailer
    Close,      // no length: the body ends when the connection does
    Drip,       // Content-Length, one byte every `param` ms
    Endless,    // no length, the body repeated until the client closes
    Midclose,   // Content-Length of the whole body, half of it sent, then closed
    Bigline,    // a header line of `param` bytes before a Content-Length body
    Hugechunk,  // chunked, the first chunk-size line announcing more than 2^40 bytes
    Hold,       // Content-Length, then the connection stays open until the client closes
    Stall,      // nothing at all; the connection stays open until the client closes
};

struct ReplyRoute {
    int status = 200;
    std::string body;
    BodyMode mode = BodyMode::Length;
    std::int64_t param = 0;  // 0: the mode's default
    std::string headers;     // extra header lines, sent as given (a missing final line end is added)
};
struct RedirectRoute {
    int status = 302;
    std::string location;
};
struct RawRoute {
    std::string bytes;
};
struct FileRoute {
    std::string hostPath;
};
using Route = std::variant<ReplyRoute, RedirectRoute, RawRoute, FileRoute>;

// Mode names as the control channel spells them; nullopt for an unknown name.
std::optional<BodyMode> ParseBodyMode(std::string_view name);
std::string_view BodyModeName(BodyMode mode);
std::int64_t DefaultParam(BodyMode mode);
// The largest parameter a mode takes (drip: ms between bytes, bigline: bytes, chunked: chunk size).
std::int64_t MaxParam(BodyMode mode);

// One step of sending a reply. The server carries the steps out in order over plain TCP or TLS.
struct Step {
    enum class Kind {
        Send,          // bytes
        Drip,          // bytes, one at a time, intervalMs apart
        Repeat,        // bytes again and again until the client goes
        SendFile,      // the host file's first fileSize bytes
        WaitForClose,  // keep the connection until the client closes it
    };
    Kind kind = Kind::Send;
    std::string bytes;
    std::int64_t intervalMs = 0;
    std::string path;
    std::uint64_t fileSize = 0;
};

struct ReplyPlan {
    std::vector<Step> steps;
    // false: the connection is dropped without an orderly end (TLS: no close_notify).
    bool orderlyClose = true;
};

// Size of a host file, nullopt when it cannot be read.
using FileSizeFn = std::function<std::optional<std::uint64_t>(const std::string& path)>;

// The plan for a route, or for no route (404 with an empty body).
ReplyPlan PlanReply(const Route* route, const FileSizeFn& fileSize);
// Plans of the server's own refusals (request head too large, body too large).
ReplyPlan PlanStatusOnly(int status);

// The reason phrase the server sends for a status ("Unknown" for codes it has no name for).
std::string_view ReasonPhrase(int status);

// The routes and the request log. Not thread-safe: the daemon guards it with a mutex.
class Scenario {
public:
    // Bounds of the log: the oldest requests go first.
    static constexpr std::size_t kMaxRequests = 10000;
    static constexpr std::size_t kMaxLogBytes = 64u << 20;

    void SetRoute(std::string path, Route route) { routes_[std::move(path)] = std::move(route); }
    const Route* Find(std::string_view path) const;
    void Clear();

    void Record(std::string rawRequest);
    const std::deque<std::string>& requests() const { return requests_; }
    void ClearRequests();

private:
    std::map<std::string, Route, std::less<>> routes_;
    std::deque<std::string> requests_;
    std::size_t logBytes_ = 0;
};

}  // namespace tvsp::updsrv
