// The test update server's command line.
#include "testing/daemon/daemon_support.h"
#include "testing/update-server/options.h"

#include <charconv>

namespace tvsp::updsrv {


std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
    Options o;
    auto fail = [error](std::string text) -> std::optional<Options> {
        if (error) *error = std::move(text);
        return std::nullopt;
    };
    bool httpsPortGiven = false;
    bool wrongPortGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        int* port = name == "--http-port"      ? &o.httpPort
                    : name == "--https-port"   ? &o.httpsPort
                    : name == "--wrong-port"   ? &o.wrongPort
                    : name == "--control-port" ? &o.controlPort
                                               : nullptr;
        std::string* text = name == "--cert"         ? &o.cert
                            : name == "--key"        ? &o.key
                            : name == "--wrong-cert" ? &o.wrongCert
                            : name == "--wrong-key"  ? &o.wrongKey
                            : name == "--ready-file" ? &o.readyFile
                            : name == "--prefix"     ? &o.prefix
                                                     : nullptr;
        if (!port && !text) return fail("unknown option " + name);
        if (i + 1 == args.size()) return fail(name + " needs a value");
        const std::string& value = args[++i];
        if (port) {
            if (!daemon::ParseNumber(value, 0, 65535, port)) return fail("bad " + name + " " + value);
            httpsPortGiven |= port == &o.httpsPort;
            wrongPortGiven |= port == &o.wrongPort;
        } else {
            if (value.empty()) return fail(name + " needs a non-empty value");
            *text = value;
        }
    }
    if (o.help) return o;
    if (o.cert.empty() != o.key.empty()) return fail("--cert and --key go together");
    if (o.wrongCert.empty() != o.wrongKey.empty()) return fail("--wrong-cert and --wrong-key go together");
    if (httpsPortGiven && o.cert.empty()) return fail("--https-port needs --cert and --key");
    if (wrongPortGiven && o.wrongCert.empty()) return fail("--wrong-port needs --wrong-cert and --wrong-key");
    return o;
}

std::string UsageText() {
    return "usage: tvsp-update-server [--http-port N] [--https-port N --cert PEM --key PEM]\n"
           "                          [--wrong-port N --wrong-cert PEM --wrong-key PEM]\n"
           "                          [--control-port N] [--ready-file FILE] [--prefix WINEPREFIX]\n"
           "The test update server: HTTP and HTTPS on 127.0.0.1 answering what tests script over a\n"
           "line-based TCP control channel (docs/update-server.md). Ports 0 (the default): any free port.\n"
           "  --http-port     plain HTTP port\n"
           "  --https-port    HTTPS port, served with --cert and --key (PEM)\n"
           "  --wrong-port    second HTTPS port, served with --wrong-cert and --wrong-key (PEM): a\n"
           "                  certificate the test CA did not sign\n"
           "  --control-port  TCP port of the control channel\n"
           "  --ready-file    written once listening: control=P http=P https=P wrong=P (0: none)\n"
           "  --prefix        Wine prefix: files named X:\\... resolve through its dosdevices\n";
}

}  // namespace tvsp::updsrv
