// The test update server's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tvsp::updsrv {

struct Options {
    int httpPort = 0;     // 0: any free port
    int httpsPort = 0;    // 0: any free port; used only with a certificate
    int wrongPort = 0;    // 0: any free port; used only with a wrong certificate
    int controlPort = 0;  // 0: any free port
    std::string cert, key;            // PEM; without them no HTTPS listener
    std::string wrongCert, wrongKey;  // PEM of a certificate the test CA did not sign
    std::string readyFile;            // "control=P http=P https=P wrong=P" once listening
    std::string prefix;               // Wine prefix through which Windows paths of files resolve
    bool help = false;
};

// args excludes the program name. nullopt with *error set on a bad command line.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error);

std::string UsageText();

}  // namespace tvsp::updsrv
