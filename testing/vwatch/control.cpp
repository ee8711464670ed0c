// The virtual watch's control channel: one text request line in, one reply line out.
#include "testing/vwatch/control.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "testing/vwatch/escape.h"
#include "testing/vwatch/region_list.h"

namespace tvsp::vwatch {

namespace {

constexpr int kMaxDelayMs = 600000;
constexpr int kMaxCount = 1000000;

// Splits off the first space-separated word; `rest` gets what follows the single space after it.
std::string_view NextWord(std::string_view& rest) {
    const std::size_t space = rest.find(' ');
    const std::string_view word = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
    return word;
}

std::optional<int> ParseInt(std::string_view text, int min, int max) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ParseBytes(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    if (value == 0 || value > kMaxDiskBytes) return std::nullopt;
    return value;
}

// c: holds the prefix's Windows and z: the way to every Linux file: neither may become the disk.
std::optional<char> ParseDriveLetter(std::string_view text) {
    if (text.size() != 1) return std::nullopt;
    char c = text[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z' || c == 'C' || c == 'Z') return std::nullopt;
    return c;
}

// A reason may quote a tool's output; a line end inside it would end the reply early.
std::string Err(std::string_view reason) {
    std::string out = "ERR " + std::string(reason);
    for (char& c : out) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return out;
}

// Status values are space-separated, so a space inside one is escaped too.
std::string StatusValue(std::string_view text) {
    std::string out;
    for (char c : Escape(text)) {
        if (c == ' ') {
            out += "\\x20";
        } else {
            out += c;
        }
    }
    return out;
}

std::string JoinList(const std::vector<std::string>& items) {
    std::string out = "OK";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += i == 0 ? ' ' : kListDelimiter;
        out += items[i];
    }
    return out;
}

std::string DoPlug(std::string_view args, WatchModel& model, PortControl& port) {
    int com = port.com();
    if (!args.empty()) {
        const auto n = ParseInt(args, kMinCom, kMaxCom);
        if (!n) return Err("bad COM number");
        com = *n;
    }
    std::string error;
    if (!port.Plug(com, &error)) {
        model.Detached();
        return Err(error.empty() ? "plug failed" : error);
    }
    model.Attached();
    return "OK " + std::to_string(com);
}

std::string DoUnplug(WatchModel& model, PortControl& port) {
    std::string error;
    const bool ok = port.Unplug(&error);
    model.Detached();
    return ok ? "OK" : Err(error.empty() ? "unplug failed" : error);
}

std::string DoSet(std::string_view args, WatchModel& model, PortControl& port) {
    const std::string_view what = NextWord(args);
    WatchSettings& s = model.settings();
    if (what == "version" || what == "imei") {
        auto text = Unescape(args);
        if (!text) return Err("bad escape");
        (what == "version" ? s.version : s.imei) = std::move(*text);
        return "OK";
    }
    if (what == "echo") {
        if (args != "on" && args != "off") return Err("echo takes on or off");
        s.echo = args == "on";
        return "OK";
    }
    if (what == "on-reboot") {
        if (args != "stay" && args != "unplug" && args != "unplug-once") {
            return Err("on-reboot takes stay, unplug or unplug-once");
        }
        s.onReboot = args == "stay" ? OnReboot::Stay : args == "unplug" ? OnReboot::Unplug : OnReboot::UnplugOnce;
        return "OK";
    }
    if (what == "delay") {
        const std::string_view cmd = NextWord(args);
        const auto ms = ParseInt(args, 0, kMaxDelayMs);
        if (cmd.empty() || !ms) return Err("usage: set delay CMD MS");
        model.SetDelay(cmd, *ms);
        return "OK";
    }
    if (what == "download-com") {
        const auto n = ParseInt(args, 0, kMaxCom);
        if (!n) return Err("bad COM number");
        s.downloadCom = *n;
        return "OK";
    }
    if (what == "download-delay") {
        const auto ms = ParseInt(args, 0, kMaxDelayMs);
        if (!ms) return Err("bad delay");
        s.downloadDelayMs = *ms;
        return "OK";
    }
    if (what == "new-version") {
        auto text = Unescape(args);
        if (!text) return Err("bad escape");
        s.newVersion = std::move(*text);
        return "OK";
    }
    if (what == "after-restart") {
        const auto after = ParseAfterRestart(args);
        if (!after) return Err("after-restart takes stay or rejoin MS1 MS2");
        s.afterRestart = *after;
        return "OK";
    }
    if (what == "com") {
        const auto n = ParseInt(args, kMinCom, kMaxCom);
        if (!n) return Err("bad COM number");
        if (!port.plugged()) {
            port.SelectCom(*n);
            return "OK " + std::to_string(*n);
        }
        return DoPlug(args, model, port);
    }
    return Err("unknown setting");
}

std::string DoFault(std::string_view args, WatchModel& model) {
    const std::string_view cmd = NextWord(args);
    if (cmd.empty()) return Err("usage: fault CMD KIND");
    if (cmd == "rsdta-error" || cmd == "rsdtb-error") {
        const auto n = ParseInt(args, 0, kMaxCount);
        if (!n) return Err("bad count");
        model.ArmRestoreErrors(cmd == "rsdta-error" ? 'A' : 'B', *n);
        return "OK";
    }
    const std::string_view kind = NextWord(args);
    Fault fault;
    if (kind == "none") {
        fault.kind = FaultKind::None;
    } else if (kind == "silent" || kind == "wrong" || kind == "partial") {
        if (!args.empty()) return Err("unexpected text after fault kind");
        fault.kind = kind == "silent" ? FaultKind::Silent : kind == "wrong" ? FaultKind::Wrong : FaultKind::Partial;
    } else if (kind == "fail-first") {
        const auto n = ParseInt(NextWord(args), 0, kMaxCount);
        if (!n) return Err("bad count");
        fault.kind = FaultKind::FailFirst;
        fault.remaining = *n;
        if (args == "wrong") {
            fault.failAs = FaultKind::Wrong;
        } else if (args.empty() || args == "silent") {
            fault.failAs = FaultKind::Silent;
        } else {
            return Err("fail-first fails as silent or wrong");
        }
    } else if (kind == "raw") {
        auto bytes = Unescape(args);
        if (!bytes) return Err("bad escape");
        fault.kind = FaultKind::Raw;
        fault.raw = std::move(*bytes);
    } else {
        return Err("unknown fault kind");
    }
    model.SetFault(cmd, std::move(fault));
    return "OK";
}

std::string DoDownloadFault(std::string_view args, WatchModel& model) {
    const std::string_view kind = NextWord(args);
    DownloadFaults& f = model.downloadFaults();
    if (kind == "none" || kind == "never-returns" || kind == "refuse-handshake") {
        if (!args.empty()) return Err("unexpected text after fault kind");
        if (kind == "none") f = {};
        if (kind == "never-returns") f.neverReturns = true;
        if (kind == "refuse-handshake") f.refuseHandshake = true;
        return "OK";
    }
    if (kind == "vanish-at") {
        const auto p = ParseInt(args, 0, 100);
        if (!p) return Err("vanish-at takes a percentage 0..100");
        f.vanishAtPercent = *p;
        return "OK";
    }
    if (kind == "corrupt-block") {
        const auto k = ParseInt(args, 1, kMaxCount);
        if (!k) return Err("corrupt-block takes a block number from 1");
        f.corruptBlock = *k;
        return "OK";
    }
    return Err("unknown download fault");
}

std::string DoDisk(std::string_view args, PortControl& port) {
    const std::string_view what = NextWord(args);
    std::string error;
    if (what == "plug") {
        const auto letter = ParseDriveLetter(NextWord(args));
        if (!letter) return Err("drive letter must be A..Y except C");
        const auto size = ParseBytes(args);
        if (!size) return Err("size must be 1.." + std::to_string(kMaxDiskBytes) + " bytes");
        if (!port.PlugDisk(*letter, *size, &error)) return Err(error.empty() ? "disk plug failed" : error);
        return "OK";
    }
    if (what == "fill") {
        const auto bytes = ParseBytes(args);
        if (!bytes) return Err("fill takes 1.." + std::to_string(kMaxDiskBytes) + " bytes");
        if (!port.disk().plugged) return Err("no disk plugged");
        if (!port.FillDisk(*bytes, &error)) return Err(error.empty() ? "disk fill failed" : error);
        return "OK";
    }
    if (!args.empty()) return Err("unexpected arguments");
    if (what == "unplug") {
        if (!port.UnplugDisk(&error)) return Err(error.empty() ? "disk unplug failed" : error);
        return "OK";
    }
    if (what == "status") {
        const DiskState d = port.disk();
        return std::string("OK plugged=") + (d.plugged ? "yes" : "no") +
               " letter=" + (d.plugged ? std::string(1, d.letter) : std::string("-")) +
               " size=" + std::to_string(d.plugged ? d.sizeBytes : 0);
    }
    return Err("unknown disk request");
}

std::string RegionList(const WatchModel& model) {
    std::vector<std::string> items;
    for (const dl::Region& r : model.regions()) {
        items.push_back(FormatRegionItem({r.name, r.address, r.bytes.size(), dl::Sum32(r.bytes)}));
    }
    return JoinList(items);
}

std::string DumpRegions(std::string_view args, const WatchModel& model, const PortControl& port) {
    const auto dir = Unescape(args);
    if (!dir) return Err("bad escape");
    if (dir->empty()) return Err("usage: dump-regions DIR");
    const std::filesystem::path folder = port.HostPath(*dir);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return Err("cannot make " + Escape(folder.string()) + ": " + Escape(ec.message()));
    for (const dl::Region& r : model.regions()) {
        const std::filesystem::path file = folder / (r.name + ".bin");
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(r.bytes.data(), static_cast<std::streamsize>(r.bytes.size()));
        out.close();
        if (!out) return Err("cannot write " + Escape(file.string()));
    }
    return "OK " + std::to_string(model.regions().size());
}

const char* ModeName(Mode mode) {
    switch (mode) {
    case Mode::Normal: return "normal";
    case Mode::Download: return "download";
    case Mode::Detached: break;
    }
    return "detached";
}

std::string Status(const WatchModel& model, const PortControl& port) {
    const WatchSettings& s = model.settings();
    std::string out = "OK";
    out += " plugged=" + std::string(port.plugged() ? "yes" : "no");
    out += " com=" + std::to_string(port.com());
    out += " mode=" + std::string(ModeName(model.mode()));
    out += " echo=" + std::string(s.echo ? "on" : "off");
    out += " on-reboot=" + std::string(s.onReboot == OnReboot::Stay     ? "stay"
                                       : s.onReboot == OnReboot::Unplug ? "unplug"
                                                                        : "unplug-once");
    out += " commands=" + std::to_string(model.log().size());
    out += " reboots=" + std::to_string(model.reboots());
    out += " after-restart=" + FormatAfterRestart(s.afterRestart);
    out += " rejoins=" + std::to_string(model.rejoins());
    out += " version=" + StatusValue(s.version);
    out += " imei=" + StatusValue(s.imei);
    return out;
}

}  // namespace

std::string HandleControlLine(std::string_view line, WatchModel& model, PortControl& port) {
    std::string_view args = line;
    const std::string_view verb = NextWord(args);
    if (verb.empty()) return Err("empty request");

    if (verb == "plug") return DoPlug(args, model, port);
    if (verb == "set") return DoSet(args, model, port);
    if (verb == "fault") return DoFault(args, model);
    if (verb == "fault-dl") return DoDownloadFault(args, model);
    if (verb == "dump-regions") return DumpRegions(args, model, port);
    if (verb == "disk") return DoDisk(args, port);
    if (verb == "sink") {
        if (args != "on" && args != "off") return Err("sink takes on or off");
        model.SetSink(args == "on");
        return "OK";
    }

    // The rest take no arguments.
    if (!args.empty()) return Err("unexpected arguments");
    if (verb == "unplug") return DoUnplug(model, port);
    if (verb == "clear-faults") {
        model.ClearFaults();
        return "OK";
    }
    if (verb == "log") {
        std::vector<std::string> items;
        for (const ReceivedCommand& c : model.log()) items.push_back(std::to_string(c.atMs) + " " + Escape(c.text));
        return JoinList(items);
    }
    if (verb == "clear-log") {
        model.ClearLog();
        return "OK";
    }
    if (verb == "restore-data") {
        return "OK " + Escape(model.restoreA()) + kListDelimiter + Escape(model.restoreB());
    }
    if (verb == "restore-writes") {
        std::vector<std::string> items;
        for (const RestoreWrite& w : model.restoreWrites()) items.push_back(std::string(1, w.part) + ":" + Escape(w.data));
        return JoinList(items);
    }
    if (verb == "clear-restore-data") {
        model.ClearRestoreData();
        return "OK";
    }
    if (verb == "sink-count") return "OK " + std::to_string(model.sunkBytes());
    if (verb == "regions") return RegionList(model);
    if (verb == "clear-regions") {
        model.ClearRegions();
        return "OK";
    }
    if (verb == "reset") {
        model.Reset();
        std::string error;
        if (!port.UnplugDisk(&error)) return Err(error.empty() ? "disk unplug failed" : error);
        return "OK";
    }
    if (verb == "status") return Status(model, port);
    if (verb == "quit") {
        port.RequestQuit();
        return "OK";
    }
    return Err("unknown request");
}

}  // namespace tvsp::vwatch
