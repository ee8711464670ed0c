// tvsp-prefix-rig: the prefix helpers from the command line (used by the wrapper scripts and by hand).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "testing/wine/prefix_rig.h"

namespace {

constexpr const char* kUsage =
    "usage: tvsp-prefix-rig [--prefix DIR] [--wine64 PATH] [--rig-exe PATH] COMMAND ...\n"
    "  map-com N PTY              dosdevices/comN -> PTY\n"
    "  unmap-com N\n"
    "  register-port N SERIAL [HWID]   (needs --rig-exe)\n"
    "  unregister-port SERIAL          (needs --rig-exe)\n"
    "  map-drive LETTER BYTES DIR  tmpfs of BYTES on DIR as removable drive LETTER:; with --rig-exe\n"
    "                              through the running session's mount manager, else the registry\n"
    "                              and a wineserver restart\n"
    "  unmap-drive LETTER DIR\n"
    "  import-registry FILE|-      UTF-8 .reg text\n"
    "  restart-server\n"
    "--prefix defaults to $WINEPREFIX.\n";

bool ParseInt(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty() || text.size() > 20) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v < low || v > high) return false;
    *value = v;
    return true;
}

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    tvsp::rig::PrefixRig rig;
    if (const char* env = std::getenv("WINEPREFIX")) rig.prefix = env;
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t i = 0;
    for (; i + 1 < args.size() && args[i].rfind("--", 0) == 0; i += 2) {
        if (args[i] == "--prefix") rig.prefix = args[i + 1];
        else if (args[i] == "--wine64") rig.wine64 = args[i + 1];
        else if (args[i] == "--rig-exe") rig.rigExe = args[i + 1];
        else return Usage();
    }
    if (rig.prefix.empty() || i >= args.size()) return Usage();
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());

    std::string error;
    bool ok = false;
    long long number = 0;
    if (command == "map-com" && rest.size() == 2 && ParseInt(rest[0], 1, 256, &number)) {
        ok = rig.MapComPort(static_cast<int>(number), rest[1], &error);
    } else if (command == "unmap-com" && rest.size() == 1 && ParseInt(rest[0], 1, 256, &number)) {
        ok = rig.UnmapComPort(static_cast<int>(number), &error);
    } else if (command == "register-port" && (rest.size() == 2 || rest.size() == 3) &&
               ParseInt(rest[0], 1, 255, &number)) {
        if (rig.rigExe.empty()) return Usage();
        ok = rest.size() == 3 ? rig.RegisterWatchPort(static_cast<int>(number), rest[1], rest[2], &error)
                              : rig.RegisterWatchPort(static_cast<int>(number), rest[1], "USB\\VID_0E8D&PID_0003", &error);
    } else if (command == "unregister-port" && rest.size() == 1) {
        if (rig.rigExe.empty()) return Usage();
        ok = rig.UnregisterWatchPort(rest[0], &error);
    } else if (command == "map-drive" && rest.size() == 3 && rest[0].size() == 1 &&
               ParseInt(rest[1], 1, 1LL << 40, &number)) {
        ok = rig.MapRemovableDrive(rest[0][0], static_cast<std::uint64_t>(number), rest[2], &error);
    } else if (command == "unmap-drive" && rest.size() == 2 && rest[0].size() == 1) {
        ok = rig.UnmapRemovableDrive(rest[0][0], rest[1], &error);
    } else if (command == "import-registry" && rest.size() == 1) {
        std::string text;
        if (rest[0] == "-") {
            text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        } else {
            std::ifstream in(rest[0], std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "tvsp-prefix-rig: cannot read %s\n", rest[0].c_str());
                return 1;
            }
            std::ostringstream buffer;
            buffer << in.rdbuf();
            text = buffer.str();
        }
        ok = rig.ImportRegistry(text, &error);
    } else if (command == "restart-server" && rest.empty()) {
        ok = rig.RestartServer(&error);
    } else {
        return Usage();
    }
    if (!ok) {
        std::fprintf(stderr, "tvsp-prefix-rig: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
