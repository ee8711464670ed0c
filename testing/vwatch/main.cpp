// Entry point of the virtual watch daemon.
#include <cstdio>
#include <string>
#include <vector>

#include "testing/vwatch/daemon.h"
#include "testing/vwatch/options.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = tvsp::vwatch::ParseOptions(args, &error);
    if (!options) {
        std::fprintf(stderr, "vwatch: %s\n%s", error.c_str(), tvsp::vwatch::UsageText().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(tvsp::vwatch::UsageText().c_str(), stdout);
        return 0;
    }
    tvsp::vwatch::Daemon daemon(*options);
    return daemon.Run();
}
