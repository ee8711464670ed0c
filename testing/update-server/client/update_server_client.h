// Client of the test update server's control channel, for Windows test programs running under Wine.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tvsp {

class ControlChannel;

// Scripts the test update server (docs/update-server.md): what each path answers, and the raw
// requests it has received. Every call returns a result; none throws. Byte strings are sent
// escaped, so any bytes are allowed. The first request connects to TVSP_UPDATE_SERVER by itself.
class UpdateServerClient {
public:
    UpdateServerClient();
    ~UpdateServerClient();
    UpdateServerClient(const UpdateServerClient&) = delete;
    UpdateServerClient& operator=(const UpdateServerClient&) = delete;

    // Connects to the address in TVSP_UPDATE_SERVER ("127.0.0.1:PORT").
    bool Connect();
    // Connects to "HOST:PORT" (HOST a dotted IPv4 address).
    bool Connect(std::string_view address);
    bool connected() const;

    // Sends one request line and returns the first reply line ("OK ..." or "ERR ..."), or "" when
    // the channel failed (it is then closed).
    std::string Command(const std::string& line);

    // path: the request path without query ("/check.php" answers "/check.php?imei=1" too).
    // mode: "length" (Content-Length), "chunked" (param: chunk size; 0: three chunks), "close"
    // (no length, closed after the body), "drip" (param: ms between bytes), "endless" (the body
    // repeated until the client closes), "midclose" (half the announced body, then closed),
    // "bigline" (param: length of an extra header line), "hugechunk" (a chunk size past 2^40),
    // "hold" (Content-Length, then kept open), "stall" (nothing, kept open). param 0: the mode's
    // default. headers: extra header lines sent as given ("X-A: 1\r\nX-B: 2"); a Content-Length,
    // Transfer-Encoding or Connection among them replaces the server's own.
    bool Reply(std::string_view path, int status, std::string_view body, std::string_view mode = "length",
               long long param = 0, std::string_view headers = "");
    // status 300..399; location relative, absolute, or the path itself for a loop.
    bool Redirect(std::string_view path, int status, std::string_view location);
    // Exactly these bytes, then the connection is closed; empty: closed with no reply at all.
    bool Raw(std::string_view path, std::string_view bytes);
    // The file as a 200 body with Content-Length, streamed. hostFile: a Linux path, or a Windows
    // path ("C:\pkg\rom.cab", "Z:\tmp\x") resolved through the test prefix's drives.
    bool File(std::string_view path, std::string_view hostFile);
    // Every route and the request log back to the start: unknown paths answer 404, empty body.
    bool Clear();

    // Raw bytes of every request received (head and body), oldest first; empty also on failure
    // (see ok).
    std::vector<std::string> Requests(bool* ok = nullptr);
    bool ClearRequests();

    // Ports from the environment the test launcher sets; 0 when not set.
    static int HttpPort();        // TVSP_UPDATE_HTTP
    static int HttpsPort();       // TVSP_UPDATE_HTTPS: certificate for localhost by the trusted test CA
    static int WrongHttpsPort();  // TVSP_UPDATE_HTTPS_WRONG: certificate the test CA did not sign
    // "http://localhost:<HttpPort()>" + path, and the same for the HTTPS ports (always "localhost":
    // certificates are checked against the name).
    static std::string HttpUrl(std::string_view path = "");
    static std::string HttpsUrl(std::string_view path = "");
    static std::string WrongHttpsUrl(std::string_view path = "");

    // Points a tool's Config.ini ("server": "update", "secure") at this server, and makes its
    // ROM check answer an empty 200 body, which changes nothing in the window: tests that are
    // not about the update client see the tool as before.
    bool PointQuietly(const std::wstring& configIni);

private:
    bool EnsureConnected();
    bool SendLine(const std::string& line);
    bool ReadLine(std::string* line);
    bool CommandOk(const std::string& line);

    std::unique_ptr<ControlChannel> channel_;
};

}  // namespace tvsp
