// The update server's control channel: one request line in; one reply line out ("requests" adds lines).
#include "testing/update-server/control.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "testing/update-server/words.h"
#include "testing/vwatch/escape.h"

namespace tvsp::updsrv {

namespace {

std::string Err(std::string_view reason) { return "ERR " + std::string(reason); }

template <typename T>
std::optional<T> ParseNumber(std::string_view text, T min, T max) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

// A route is a request path as it appears on the request line, before any query.
std::optional<std::string> ParsePath(std::string_view word) {
    auto path = vwatch::Unescape(word);
    if (!path || path->empty() || path->front() != '/') return std::nullopt;
    for (char c : *path) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7f || c == '?' || c == '#') return std::nullopt;
    }
    return path;
}

// "MODE" or "MODE=N".
bool ParseModeWord(std::string_view word, ReplyRoute* route) {
    const std::size_t eq = word.find('=');
    const auto mode = ParseBodyMode(word.substr(0, eq));
    if (!mode) return false;
    route->mode = *mode;
    route->param = 0;
    if (eq == std::string_view::npos) return true;
    const auto param = ParseNumber<std::int64_t>(word.substr(eq + 1), 1, MaxParam(*mode));
    if (!param) return false;
    route->param = *param;
    return true;
}

std::string DoReply(const std::vector<std::string_view>& w, Scenario& scenario) {
    if (w.size() < 4 || w.size() > 6) return Err("usage: reply PATH STATUS BODY [MODE[=N]] [HEADERS]");
    const auto path = ParsePath(w[1]);
    if (!path) return Err("bad path");
    ReplyRoute route;
    const auto status = ParseNumber<int>(w[2], 100, 999);
    if (!status) return Err("bad status");
    route.status = *status;
    auto body = vwatch::Unescape(w[3]);
    if (!body) return Err("bad escape in body");
    route.body = std::move(*body);
    if (w.size() >= 5 && !ParseModeWord(w[4], &route)) return Err("bad mode");
    if (w.size() == 6) {
        auto headers = vwatch::Unescape(w[5]);
        if (!headers) return Err("bad escape in headers");
        route.headers = std::move(*headers);
    }
    scenario.SetRoute(std::move(*path), std::move(route));
    return "OK";
}

std::string DoRedirect(const std::vector<std::string_view>& w, Scenario& scenario) {
    if (w.size() != 4) return Err("usage: redirect PATH STATUS LOCATION");
    const auto path = ParsePath(w[1]);
    if (!path) return Err("bad path");
    const auto status = ParseNumber<int>(w[2], 300, 399);
    if (!status) return Err("bad status");
    auto location = vwatch::Unescape(w[3]);
    if (!location) return Err("bad escape in location");
    scenario.SetRoute(std::move(*path), RedirectRoute{*status, std::move(*location)});
    return "OK";
}

std::string DoRaw(const std::vector<std::string_view>& w, Scenario& scenario) {
    if (w.size() != 2 && w.size() != 3) return Err("usage: raw PATH BYTES");
    const auto path = ParsePath(w[1]);
    if (!path) return Err("bad path");
    auto bytes = vwatch::Unescape(w.size() == 3 ? w[2] : std::string_view{});
    if (!bytes) return Err("bad escape in bytes");
    scenario.SetRoute(std::move(*path), RawRoute{std::move(*bytes)});
    return "OK";
}

std::string DoFile(const std::vector<std::string_view>& w, Scenario& scenario, const ControlHost& host) {
    if (w.size() != 3) return Err("usage: file PATH HOSTFILE");
    const auto path = ParsePath(w[1]);
    if (!path) return Err("bad path");
    const auto name = vwatch::Unescape(w[2]);
    if (!name || name->empty()) return Err("bad file name");
    const std::string hostPath = host.HostPath(*name);
    // Checked now so a typo fails the scenario's set-up, not a download later.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(hostPath, ec)) return Err("no such file: " + EscapeWord(hostPath));
    scenario.SetRoute(std::move(*path), FileRoute{hostPath});
    return "OK";
}

std::string DoRequests(const Scenario& scenario) {
    std::string out = "OK " + std::to_string(scenario.requests().size());
    for (const std::string& r : scenario.requests()) {
        out += '\n';
        out += vwatch::Escape(r);
    }
    return out;
}

}  // namespace

std::string HandleControlLine(std::string_view line, Scenario& scenario, ControlHost& host) {
    const std::vector<std::string_view> w = SplitWords(line);
    const std::string_view verb = w.front();
    if (verb == "reply") return DoReply(w, scenario);
    if (verb == "redirect") return DoRedirect(w, scenario);
    if (verb == "raw") return DoRaw(w, scenario);
    if (verb == "file") return DoFile(w, scenario, host);
    const bool alone = w.size() == 1;
    if (verb == "clear" && alone) {
        scenario.Clear();
        return "OK";
    }
    if (verb == "requests" && alone) return DoRequests(scenario);
    if (verb == "clear-requests" && alone) {
        scenario.ClearRequests();
        return "OK";
    }
    if (verb == "quit" && alone) {
        host.RequestQuit();
        return "OK";
    }
    if (verb == "clear" || verb == "requests" || verb == "clear-requests" || verb == "quit") {
        return Err(std::string(verb) + " takes no arguments");
    }
    return Err("unknown request");
}

}  // namespace tvsp::updsrv
