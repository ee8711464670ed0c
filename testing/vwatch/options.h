// The virtual watch daemon's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "testing/vwatch/watch_model.h"

namespace tvsp::vwatch {

struct Options {
    std::string prefix;                           // WINEPREFIX the port is mapped into
    std::string rigExe;                           // rig tool for the setup-API device; empty: none
    std::string wine64 = "/usr/lib/wine/wine64";  // loader for the rig tool
    int controlPort = 0;                          // 0: any free port
    std::string readyFile;                        // gets the control port once everything is up
    int com = 5;
    bool plug = true;
    bool help = false;
    WatchSettings watch;
};

// args excludes the program name. nullopt with *error set on a bad command line.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error);

std::string UsageText();

}  // namespace tvsp::vwatch
