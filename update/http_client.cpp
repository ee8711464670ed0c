// TVSP::HttpClient over the HTTP engine.
#include "update/http_client.h"

#include <algorithm>
#include <climits>

#include "base/win/strings.h"
#include "update/http_engine.h"

namespace TVSP {

HttpClient::HttpClient(HttpClientDelegate* delegate, int tag) : delegate_(delegate), tag_(tag) {}

HttpClient::~HttpClient() = default;

bool HttpClient::AfterBlockRead() {
    if (delegate_) {
        const int total = ProgressTotalFromContentLength(engine_->Header("Content-Length").value_or(std::string()));
        const int received = static_cast<int>(std::min<std::uint64_t>(engine_->ReceivedBytes(), INT_MAX));
        delegate_->OnHttpProgress(tag_, received, total);
    }
    return cancel_ == 0;
}

void HttpClient::Get(const std::wstring& url) {
    HttpRequestSettings settings;
    settings.afterBlockRead = [this](std::size_t) { return AfterBlockRead(); };
    // A fresh engine for every request: nothing survives from one Get to the next.
    engine_ = std::make_unique<HttpEngine>(std::move(settings));
    const bool ok = engine_->Run(WideToAnsi(url));
    if (!delegate_) return;
    if (ok && engine_->Status() == 200) {
        const std::string& body = engine_->Body();
        delegate_->OnHttpSucceeded(tag_, body.data(), static_cast<int>(body.size()));
    } else if (ok) {
        delegate_->OnHttpFailed(tag_, engine_->Status());
    } else if (cancel_ != 0) {
        delegate_->OnHttpCancelled();
    } else {
        delegate_->OnHttpFailed(tag_, engine_->Status());
    }
}

}  // namespace TVSP
