// Entry point of the test update server.
#include <cstdio>
#include <string>
#include <vector>

#include "testing/update-server/options.h"
#include "testing/update-server/server.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = tvsp::updsrv::ParseOptions(args, &error);
    if (!options) {
        std::fprintf(stderr, "tvsp-update-server: %s\n%s", error.c_str(), tvsp::updsrv::UsageText().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(tvsp::updsrv::UsageText().c_str(), stdout);
        return 0;
    }
    tvsp::updsrv::Server server(*options);
    return server.Run();
}
