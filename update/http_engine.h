// The HTTP/1.1 engine over Winsock: one blocking GET with redirects, time-outs on every wait, and
// a hook after each block read that may stop the transfer.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "update/http_message.h"

namespace TVSP {

struct HttpRequestSettings {
    DWORD timeoutMs = 10000;           // the connection, and every wait for sending or receiving
    std::size_t sendBlockBytes = 4096;
    std::size_t readBlockBytes = 65536;
    HttpLimits limits;
    // After each block read, with its size; false stops the transfer, which then fails.
    std::function<bool(std::size_t blockBytes)> afterBlockRead;
};

class HttpEngine {
public:
    explicit HttpEngine(HttpRequestSettings settings);
    HttpEngine(const HttpEngine&) = delete;
    HttpEngine& operator=(const HttpEngine&) = delete;
    ~HttpEngine();

    // Runs the GET, following 301/302/303; true when the final response's status counts as a
    // success (200..206, 304, 305). Never retries.
    [[nodiscard]] bool Run(std::string_view url);

    // The last response's status; -1 when no status line arrived.
    int Status() const { return status_; }
    // The final response's body (empty after a failure).
    const std::string& Body() const;
    // A header of the response being read (also during the block hook); nullopt when absent.
    std::optional<std::string> Header(std::string_view name) const;
    // Bytes of the response being read, its header bytes included.
    std::uint64_t ReceivedBytes() const { return received_; }
    // The block hook asked to stop.
    bool Stopped() const { return stopped_; }

private:
    enum class Step { Done, Redirect, Failed };
    Step RunOne(const HttpUrl& url, std::optional<HttpUrl>& next);

    HttpRequestSettings settings_;
    std::unique_ptr<HttpResponseParser> parser_;
    int status_ = -1;
    std::uint64_t received_ = 0;
    bool stopped_ = false;
};

}  // namespace TVSP
