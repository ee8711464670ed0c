// Client of the test update server's control channel, for Windows test programs running under Wine.
#include <windows.h>

#include "testing/update-server/client/update_server_client.h"

#include <cstdlib>
#include <utility>

#include "testing/update-server/words.h"
#include "testing/vwatch/escape.h"
#include "testing/wine/control_channel.h"

namespace tvsp {

namespace {

using updsrv::EscapeWord;

// The server answers at once; a long bound only keeps a broken channel from hanging a test.
constexpr unsigned long kReplyTimeoutMs = 60000;

int PortFromEnvironment(const char* name) {
    char text[16] = {};
    const DWORD n = ::GetEnvironmentVariableA(name, text, sizeof text);
    if (n == 0 || n >= sizeof text) return 0;
    char* end = nullptr;
    const long port = std::strtol(text, &end, 10);
    return *end == '\0' && port > 0 && port <= 65535 ? static_cast<int>(port) : 0;
}

std::string Url(const char* scheme, int port, std::string_view path) {
    return std::string(scheme) + "://localhost:" + std::to_string(port) + std::string(path);
}

}  // namespace

UpdateServerClient::UpdateServerClient() : channel_(std::make_unique<ControlChannel>(kReplyTimeoutMs)) {}
UpdateServerClient::~UpdateServerClient() = default;

bool UpdateServerClient::connected() const { return channel_->connected(); }

bool UpdateServerClient::Connect() { return channel_->ConnectFromEnvironment("TVSP_UPDATE_SERVER"); }

bool UpdateServerClient::Connect(std::string_view address) { return channel_->Connect(address); }

bool UpdateServerClient::EnsureConnected() { return connected() || Connect(); }

bool UpdateServerClient::SendLine(const std::string& line) { return EnsureConnected() && channel_->SendLine(line); }

bool UpdateServerClient::ReadLine(std::string* line) { return channel_->ReadLine(line); }

std::string UpdateServerClient::Command(const std::string& line) {
    std::string reply;
    if (!SendLine(line) || !ReadLine(&reply)) return {};
    return reply;
}

bool UpdateServerClient::CommandOk(const std::string& line) {
    const std::string reply = Command(line);
    return reply == "OK" || reply.compare(0, 3, "OK ") == 0;
}

bool UpdateServerClient::Reply(std::string_view path, int status, std::string_view body, std::string_view mode,
                               long long param, std::string_view headers) {
    std::string line = "reply " + EscapeWord(path) + " " + std::to_string(status) + " " + EscapeWord(body) + " " +
                       std::string(mode);
    if (param != 0) line += "=" + std::to_string(param);
    if (!headers.empty()) line += " " + EscapeWord(headers);
    return CommandOk(line);
}

bool UpdateServerClient::Redirect(std::string_view path, int status, std::string_view location) {
    return CommandOk("redirect " + EscapeWord(path) + " " + std::to_string(status) + " " + EscapeWord(location));
}

bool UpdateServerClient::Raw(std::string_view path, std::string_view bytes) {
    return CommandOk("raw " + EscapeWord(path) + " " + EscapeWord(bytes));
}

bool UpdateServerClient::File(std::string_view path, std::string_view hostFile) {
    return CommandOk("file " + EscapeWord(path) + " " + EscapeWord(hostFile));
}

bool UpdateServerClient::PointQuietly(const std::wstring& configIni) {
    const std::string http = HttpUrl(), https = HttpsUrl();
    const std::wstring update(http.begin(), http.end()), secure(https.begin(), https.end());
    const bool written = ::WritePrivateProfileStringW(L"server", L"update", update.c_str(), configIni.c_str()) &&
                         ::WritePrivateProfileStringW(L"server", L"secure", secure.c_str(), configIni.c_str());
    return written && Reply("/checkupdate/rom", 200, "");
}

bool UpdateServerClient::Clear() { return CommandOk("clear"); }
bool UpdateServerClient::ClearRequests() { return CommandOk("clear-requests"); }

std::vector<std::string> UpdateServerClient::Requests(bool* ok) {
    if (ok) *ok = false;
    const auto count = updsrv::ParseRequestCount(Command("requests"));
    if (!count) return {};
    std::vector<std::string> requests;
    requests.reserve(*count);
    for (std::size_t i = 0; i < *count; ++i) {
        std::string line;
        if (!ReadLine(&line)) return {};
        auto bytes = vwatch::Unescape(line);
        if (!bytes) {
            // Out of step with the server: start afresh on the next request.
            channel_->Close();
            return {};
        }
        requests.push_back(std::move(*bytes));
    }
    if (ok) *ok = true;
    return requests;
}

int UpdateServerClient::HttpPort() { return PortFromEnvironment("TVSP_UPDATE_HTTP"); }
int UpdateServerClient::HttpsPort() { return PortFromEnvironment("TVSP_UPDATE_HTTPS"); }
int UpdateServerClient::WrongHttpsPort() { return PortFromEnvironment("TVSP_UPDATE_HTTPS_WRONG"); }
std::string UpdateServerClient::HttpUrl(std::string_view path) { return Url("http", HttpPort(), path); }
std::string UpdateServerClient::HttpsUrl(std::string_view path) { return Url("https", HttpsPort(), path); }
std::string UpdateServerClient::WrongHttpsUrl(std::string_view path) { return Url("https", WrongHttpsPort(), path); }

}  // namespace tvsp
