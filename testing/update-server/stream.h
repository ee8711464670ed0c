// One accepted connection as a byte stream: plain TCP or TLS over it (OpenSSL).
#pragma once

#include <memory>
#include <string>
#include <string_view>

typedef struct ssl_ctx_st SSL_CTX;

namespace tvsp::updsrv {

class Stream {
public:
    enum class ReadResult { Data, Closed, TimedOut, Failed };

    virtual ~Stream() = default;
    // Waits at most timeoutMs for bytes; *got is how many arrived (Data only).
    virtual ReadResult Read(char* buffer, std::size_t size, int timeoutMs, std::size_t* got) = 0;
    // Every byte, or false (the peer went, or a write timed out).
    virtual bool Write(std::string_view bytes) = 0;
    // Ends the connection's sending side: orderly (TLS close_notify, FIN, then what the peer still
    // sends is read and dropped for a moment so it sees the whole reply), or abruptly. The socket
    // itself is closed by its owner.
    virtual void End(bool orderly) = 0;
};

// Plain TCP on a connected socket the caller owns.
std::unique_ptr<Stream> MakePlainStream(int fd);

// TLS server side on a connected socket the caller owns: handshakes first; nullptr when the
// handshake fails (the client refused the certificate, spoke plain HTTP, or went away).
std::unique_ptr<Stream> AcceptTlsStream(int fd, SSL_CTX* context);

// A server context with this certificate (chain) and key; nullptr with *error set on failure.
struct TlsContextDeleter {
    void operator()(SSL_CTX* context) const;
};
using TlsContext = std::unique_ptr<SSL_CTX, TlsContextDeleter>;
TlsContext LoadTlsContext(const std::string& certPem, const std::string& keyPem, std::string* error);

}  // namespace tvsp::updsrv
