// TVSP::HttpClient: one blocking GET whose single outcome, and the progress before it, reach a
// delegate on the calling thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace TVSP {

class HttpEngine;

// Request tags: which request an outcome belongs to.
enum HttpRequestTag : int {
    kTagRomCheck = 1,
    kTagRomPackage = 2,
    kTagClientCheck = 3,
    kTagClientPackage = 4,
};

// The receiver of a request's outcome; operations in this slot order.
class HttpClientDelegate {
public:
    // The transfer failed while the cancel flag was set.
    virtual void OnHttpCancelled() = 0;
    // code: the last response's status, or -1 when no status line arrived.
    virtual void OnHttpFailed(int tag, int code) = 0;
    // body: valid only during the call; length is its size (no terminator to rely on).
    virtual void OnHttpSucceeded(int tag, const char* body, int length) = 0;
    // received: bytes of the response so far, header bytes included; total: its Content-Length.
    virtual void OnHttpProgress(int tag, int received, int total) = 0;

protected:
    ~HttpClientDelegate() = default;
};

class HttpClient {
public:
    // delegate may be null: outcomes are then dropped.
    HttpClient(HttpClientDelegate* delegate, int tag);
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;
    virtual ~HttpClient();

    // Blocks until the one outcome has been delivered. url: an absolute http URL.
    void Get(const std::wstring& url);

    // While set, the transfer stops after the current block.
    void SetCancelFlag(bool cancel) { cancel_ = cancel ? 1 : 0; }

private:
    bool AfterBlockRead();

    HttpClientDelegate* delegate_;
    int tag_;
    std::unique_ptr<HttpEngine> engine_;
    std::atomic<std::uint8_t> cancel_{0};
};

}  // namespace TVSP
