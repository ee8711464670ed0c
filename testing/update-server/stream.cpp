// One accepted connection as a byte stream: plain TCP or TLS over it (OpenSSL).
#include "testing/update-server/stream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace tvsp::updsrv {

namespace {

// After the reply, how long the peer's remaining bytes are drained before the socket closes.
constexpr int kLingerMs = 1000;

bool WaitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int n = ::poll(&p, 1, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        return n > 0;
    }
}

// Reads and drops what the peer still sends, until it closes or the linger time is up, so that
// closing with unread bytes does not reset the connection under the reply.
void Linger(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLingerMs);
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitReadable(fd, static_cast<int>(left.count()))) return;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
    }
}

class PlainStream final : public Stream {
public:
    explicit PlainStream(int fd) : fd_(fd) {}

    ReadResult Read(char* buffer, std::size_t size, int timeoutMs, std::size_t* got) override {
        if (!WaitReadable(fd_, timeoutMs)) return ReadResult::TimedOut;
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, size, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ReadResult::TimedOut;
            if (n < 0) return ReadResult::Failed;
            if (n == 0) return ReadResult::Closed;
            *got = static_cast<std::size_t>(n);
            return ReadResult::Data;
        }
    }

    bool Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    void End(bool orderly) override {
        if (!orderly) return;
        ::shutdown(fd_, SHUT_WR);
        Linger(fd_);
    }

private:
    int fd_;
};

class TlsStream final : public Stream {
public:
    TlsStream(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
    ~TlsStream() override { SSL_free(ssl_); }
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    ReadResult Read(char* buffer, std::size_t size, int timeoutMs, std::size_t* got) override {
        if (SSL_pending(ssl_) == 0 && !WaitReadable(fd_, timeoutMs)) return ReadResult::TimedOut;
        const int n = SSL_read(ssl_, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
        if (n > 0) {
            *got = static_cast<std::size_t>(n);
            return ReadResult::Data;
        }
        const int error = SSL_get_error(ssl_, n);
        ERR_clear_error();
        if (error == SSL_ERROR_ZERO_RETURN) return ReadResult::Closed;
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return ReadResult::TimedOut;
        // A peer that closes without close_notify has still gone.
        broken_ = true;
        return ReadResult::Closed;
    }

    bool Write(std::string_view bytes) override {
        while (!bytes.empty() && !broken_) {
            const int n = SSL_write(ssl_, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 30)));
            if (n <= 0) {
                ERR_clear_error();
                broken_ = true;
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return !broken_;
    }

    void End(bool orderly) override {
        if (!orderly) return;
        if (!broken_) {
            SSL_shutdown(ssl_);
            ERR_clear_error();
        }
        ::shutdown(fd_, SHUT_WR);
        Linger(fd_);
    }

private:
    int fd_;
    SSL* ssl_;
    bool broken_ = false;
};

}  // namespace

std::unique_ptr<Stream> MakePlainStream(int fd) { return std::make_unique<PlainStream>(fd); }

std::unique_ptr<Stream> AcceptTlsStream(int fd, SSL_CTX* context) {
    SSL* ssl = SSL_new(context);
    if (ssl == nullptr) return nullptr;
    // The socket's receive and send time-outs bound the handshake.
    if (SSL_set_fd(ssl, fd) != 1 || SSL_accept(ssl) != 1) {
        ERR_clear_error();
        SSL_free(ssl);
        return nullptr;
    }
    return std::make_unique<TlsStream>(fd, ssl);
}

void TlsContextDeleter::operator()(SSL_CTX* context) const { SSL_CTX_free(context); }

TlsContext LoadTlsContext(const std::string& certPem, const std::string& keyPem, std::string* error) {
    TlsContext context(SSL_CTX_new(TLS_server_method()));
    auto fail = [&](const std::string& what) {
        char text[256] = {};
        ERR_error_string_n(ERR_get_error(), text, sizeof text);
        ERR_clear_error();
        *error = what + ": " + text;
        return TlsContext();
    };
    if (!context) return fail("SSL_CTX_new");
    if (SSL_CTX_use_certificate_chain_file(context.get(), certPem.c_str()) != 1) return fail("certificate " + certPem);
    if (SSL_CTX_use_PrivateKey_file(context.get(), keyPem.c_str(), SSL_FILETYPE_PEM) != 1) return fail("key " + keyPem);
    if (SSL_CTX_check_private_key(context.get()) != 1) return fail("key " + keyPem + " does not match " + certPem);
    // One request per connection: resumption only adds state.
    SSL_CTX_set_session_cache_mode(context.get(), SSL_SESS_CACHE_OFF);
    SSL_CTX_set_num_tickets(context.get(), 0);
    return context;
}

}  // namespace tvsp::updsrv
