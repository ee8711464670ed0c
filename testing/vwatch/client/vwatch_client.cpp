// Client of the virtual watch's control channel, for Windows test programs running under Wine.
#include "testing/vwatch/client/vwatch_client.h"

#include <cstdlib>
#include <utility>

#include "testing/vwatch/escape.h"
#include "testing/wine/control_channel.h"
#include "testing/vwatch/region_list.h"

namespace tvsp {

namespace {

using vwatch::Escape;
using vwatch::SplitList;
using vwatch::Unescape;

// A plug or unplug runs the rig tool under Wine inside the daemon; give it time, but never hang.
constexpr unsigned long kReplyTimeoutMs = 120000;

}  // namespace

VirtualWatchClient::VirtualWatchClient() : channel_(std::make_unique<ControlChannel>(kReplyTimeoutMs)) {}
VirtualWatchClient::~VirtualWatchClient() = default;

bool VirtualWatchClient::connected() const { return channel_->connected(); }

bool VirtualWatchClient::Connect() { return channel_->ConnectFromEnvironment("TVSP_VWATCH"); }

bool VirtualWatchClient::Connect(std::string_view address) { return channel_->Connect(address); }

std::string VirtualWatchClient::Command(const std::string& line) { return channel_->Command(line); }

bool VirtualWatchClient::CommandData(const std::string& line, std::string* data) {
    const std::string reply = Command(line);
    if (reply == "OK") {
        data->clear();
        return true;
    }
    if (reply.compare(0, 3, "OK ") != 0) return false;
    *data = reply.substr(3);
    return true;
}

bool VirtualWatchClient::CommandOk(const std::string& line) {
    std::string data;
    return CommandData(line, &data);
}

bool VirtualWatchClient::Plug(int com) { return CommandOk("plug " + std::to_string(com)); }
bool VirtualWatchClient::Unplug() { return CommandOk("unplug"); }
bool VirtualWatchClient::SetVersion(const std::string& version) { return CommandOk("set version " + Escape(version)); }
bool VirtualWatchClient::SetImei(const std::string& imei) { return CommandOk("set imei " + Escape(imei)); }
bool VirtualWatchClient::SetEcho(bool on) { return CommandOk(on ? "set echo on" : "set echo off"); }
bool VirtualWatchClient::SetRebootUnplugs(bool unplug) {
    return CommandOk(unplug ? "set on-reboot unplug" : "set on-reboot stay");
}
bool VirtualWatchClient::SetRebootUnplugsOnce() { return CommandOk("set on-reboot unplug-once"); }
bool VirtualWatchClient::SetDelay(const std::string& cmd, int ms) {
    return CommandOk("set delay " + cmd + " " + std::to_string(ms));
}
bool VirtualWatchClient::SetFault(const std::string& cmd, const std::string& fault) {
    return CommandOk("fault " + cmd + " " + fault);
}
bool VirtualWatchClient::SetRawReply(const std::string& cmd, std::string_view replyBytes) {
    return CommandOk("fault " + cmd + " raw " + Escape(replyBytes));
}
bool VirtualWatchClient::SetRestoreErrors(char part, int count) {
    if (part != 'A' && part != 'B') return false;
    return CommandOk(std::string(part == 'A' ? "fault rsdta-error " : "fault rsdtb-error ") + std::to_string(count));
}
bool VirtualWatchClient::ClearFaults() { return CommandOk("clear-faults"); }
bool VirtualWatchClient::SetDownloadCom(int com) { return CommandOk("set download-com " + std::to_string(com)); }
bool VirtualWatchClient::SetDownloadDelay(int ms) { return CommandOk("set download-delay " + std::to_string(ms)); }
bool VirtualWatchClient::SetNewVersion(const std::string& version) {
    return CommandOk("set new-version " + Escape(version));
}
bool VirtualWatchClient::SetDownloadFault(const std::string& fault) { return CommandOk("fault-dl " + fault); }
bool VirtualWatchClient::SetAfterRestart(bool rejoin, int unplugAfterMs, int plugAfterMs) {
    if (!rejoin) return CommandOk("set after-restart stay");
    return CommandOk("set after-restart rejoin " + std::to_string(unplugAfterMs) + " " + std::to_string(plugAfterMs));
}
int VirtualWatchClient::Rejoins() {
    std::string data;
    if (!CommandData("status", &data)) return -1;
    constexpr std::string_view kField = " rejoins=";
    const std::size_t at = data.find(kField);
    if (at == std::string::npos) return -1;
    return std::atoi(data.c_str() + at + kField.size());
}
bool VirtualWatchClient::DumpRegions(const std::string& dir) { return CommandOk("dump-regions " + Escape(dir)); }
bool VirtualWatchClient::ClearRegions() { return CommandOk("clear-regions"); }
bool VirtualWatchClient::SetSink(bool on) { return CommandOk(on ? "sink on" : "sink off"); }
long long VirtualWatchClient::SunkBytes() {
    std::string data;
    if (!CommandData("sink-count", &data)) return -1;
    return std::strtoll(data.c_str(), nullptr, 10);
}

std::vector<WatchRegion> VirtualWatchClient::Regions(bool* ok) {
    if (ok) *ok = false;
    std::vector<WatchRegion> regions;
    std::string data;
    if (!CommandData("regions", &data)) return regions;
    for (const std::string& item : SplitList(data)) {
        auto r = vwatch::ParseRegionItem(item);
        if (!r) return {};
        regions.push_back({std::move(r->name), r->address, r->length, r->sum32});
    }
    if (ok) *ok = true;
    return regions;
}
bool VirtualWatchClient::Reset() { return CommandOk("reset"); }
bool VirtualWatchClient::PlugDisk(char letter, std::uint64_t sizeBytes) {
    return CommandOk("disk plug " + std::string(1, letter) + " " + std::to_string(sizeBytes));
}
bool VirtualWatchClient::UnplugDisk() { return CommandOk("disk unplug"); }
bool VirtualWatchClient::FillDisk(std::uint64_t bytes) { return CommandOk("disk fill " + std::to_string(bytes)); }
bool VirtualWatchClient::ClearLog() { return CommandOk("clear-log"); }

std::vector<WatchCommandRecord> VirtualWatchClient::ReceivedCommandLog() {
    std::vector<WatchCommandRecord> records;
    std::string data;
    if (!CommandData("log", &data)) return records;
    for (const std::string& item : SplitList(data)) {
        // "<ms> <escaped text>"
        const std::size_t space = item.find(' ');
        if (space == std::string::npos) return {};
        auto text = Unescape(std::string_view(item).substr(space + 1));
        if (!text) return {};
        records.push_back({std::strtoll(item.substr(0, space).c_str(), nullptr, 10), std::move(*text)});
    }
    return records;
}

std::vector<std::string> VirtualWatchClient::ReceivedCommands() {
    std::vector<std::string> texts;
    for (WatchCommandRecord& r : ReceivedCommandLog()) texts.push_back(std::move(r.text));
    return texts;
}

bool VirtualWatchClient::RestoreDataParts(std::string* partA, std::string* partB) {
    std::string data;
    if (!CommandData("restore-data", &data)) return false;
    const std::vector<std::string> parts = SplitList(data);
    if (parts.size() != 2) return false;
    auto a = Unescape(parts[0]);
    auto b = Unescape(parts[1]);
    if (!a || !b) return false;
    *partA = std::move(*a);
    *partB = std::move(*b);
    return true;
}

std::string VirtualWatchClient::RestoreData() {
    std::string a;
    std::string b;
    if (!RestoreDataParts(&a, &b) || (a.empty() && b.empty())) return {};
    return a + "\n" + b;
}

std::string VirtualWatchClient::Status() { return Command("status"); }

}  // namespace tvsp
