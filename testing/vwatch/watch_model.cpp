// The virtual watch's behaviour on its serial port: commands in, echo and replies out, faults.
#include "testing/vwatch/watch_model.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "testing/daemon/daemon_support.h"

namespace tvsp::vwatch {

namespace {

constexpr std::string_view kRestorePrefixA = "AT^RSDTA=";
constexpr std::string_view kRestorePrefixB = "AT^RSDTB=";

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && Upper(text.substr(0, prefix.size())) == prefix;
}

// A restore-data line ends at LF only: the data may itself end in a CR (the record before the
// server's line feed keeps its CR) and that CR must reach the store unchanged.
bool IsRestoreDataLine(std::string_view line) {
    return StartsWithNoCase(line, kRestorePrefixA) || StartsWithNoCase(line, kRestorePrefixB);
}

// Most specific key first: the full text, the name before '=', then "*".
template <typename V>
V* FindByKey(std::map<std::string, V, std::less<>>& map, std::string_view text) {
    if (map.empty()) return nullptr;
    const std::string full = Upper(text);
    if (auto it = map.find(full); it != map.end()) return &it->second;
    if (const auto eq = full.find('='); eq != std::string::npos) {
        if (auto it = map.find(std::string_view(full).substr(0, eq)); it != map.end()) return &it->second;
    }
    if (auto it = map.find(std::string_view("*")); it != map.end()) return &it->second;
    return nullptr;
}

}  // namespace

std::optional<AfterRestart> ParseAfterRestart(std::string_view text) {
    if (text == "stay") return AfterRestart{};
    constexpr std::string_view kRejoin = "rejoin ";
    if (!text.starts_with(kRejoin)) return std::nullopt;
    text.remove_prefix(kRejoin.size());
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    AfterRestart after{true, 0, 0};
    if (!daemon::ParseNumber(std::string(text.substr(0, space)), 0, kMaxAfterRestartMs, &after.unplugAfterMs) ||
        !daemon::ParseNumber(std::string(text.substr(space + 1)), 0, kMaxAfterRestartMs, &after.plugAfterMs)) {
        return std::nullopt;
    }
    return after;
}

std::string FormatAfterRestart(const AfterRestart& after) {
    if (!after.rejoin) return "stay";
    return "rejoin:" + std::to_string(after.unplugAfterMs) + ":" + std::to_string(after.plugAfterMs);
}

AtCommandKind ClassifyCommand(std::string_view text, std::string* restoreData) {
    if (StartsWithNoCase(text, kRestorePrefixA) || StartsWithNoCase(text, kRestorePrefixB)) {
        if (restoreData) *restoreData = std::string(text.substr(kRestorePrefixA.size()));
        return Upper(text.substr(0, kRestorePrefixA.size())) == kRestorePrefixA ? AtCommandKind::RestoreDataA
                                                                                : AtCommandKind::RestoreDataB;
    }
    static const std::pair<std::string_view, AtCommandKind> kFixed[] = {
        {"AT", AtCommandKind::Ping},
        {"AT+CGMR", AtCommandKind::ReadVersion},
        {"AT+EGMR=0,7", AtCommandKind::ReadImei},
        {"AT^TESTSTART", AtCommandKind::TestStart},
        {"AT+ESDS=0", AtCommandKind::SaveData},
        {"AT+ESDS=1", AtCommandKind::RestoreData},
        {"AT^STARTFLASHROM", AtCommandKind::StartFlashWatchdog},
        {"AT+CFUN=1,1", AtCommandKind::Reboot},
        {"AT^PWROFF", AtCommandKind::PowerOff},
    };
    const std::string upper = Upper(text);
    for (const auto& [name, kind] : kFixed) {
        if (upper == name) return kind;
    }
    return AtCommandKind::Unknown;
}

std::string NormalReply(AtCommandKind kind, const WatchSettings& settings) {
    switch (kind) {
    case AtCommandKind::Ping:
    case AtCommandKind::SaveData:
    case AtCommandKind::RestoreData: return "\r\nOK\r\n";
    case AtCommandKind::ReadVersion: return "\r\n+CGMR: " + settings.version + "\r\n\r\nOK\r\n";
    case AtCommandKind::ReadImei: return "\r\n+EGMR: \"" + settings.imei + "\"\r\n\r\nOK\r\n";
    case AtCommandKind::TestStart: return "\r\nOK1-OK2\r\n";
    case AtCommandKind::StartFlashWatchdog: return "\r\nBLE WATCHDOG START\r\n\r\nOK\r\n";
    case AtCommandKind::Reboot:
    case AtCommandKind::PowerOff: return {};
    case AtCommandKind::RestoreDataA: return "\r\nRSDTA_OK\r\n";
    case AtCommandKind::RestoreDataB: return "\r\nRSDTB_OK\r\n";
    case AtCommandKind::Unknown: break;
    }
    return std::string(kWrongReply);
}

std::string PartialReply(AtCommandKind kind, const WatchSettings& settings) {
    switch (kind) {
    case AtCommandKind::Ping:
    case AtCommandKind::SaveData:
    case AtCommandKind::RestoreData: return "\r\n";
    case AtCommandKind::ReadVersion: return "\r\n+CGMR: ";
    // The closing quote is missing: "OK" is there, the IMEI cannot be cut out.
    case AtCommandKind::ReadImei: return "\r\n+EGMR: \"" + settings.imei + "\r\n\r\nOK\r\n";
    case AtCommandKind::TestStart: return "\r\nOK1";
    case AtCommandKind::StartFlashWatchdog: return "\r\nBLE WATCHDOG";
    case AtCommandKind::Reboot:
    case AtCommandKind::PowerOff: return {};
    case AtCommandKind::RestoreDataA: return "\r\nRSDTA_";
    case AtCommandKind::RestoreDataB: return "\r\nRSDTB_";
    case AtCommandKind::Unknown: break;
    }
    return "\r\nERR";
}

WatchModel::WatchModel(WatchSettings initial) : initial_(initial), settings_(std::move(initial)) {}

void WatchModel::Attached() {
    mode_ = Mode::Normal;
    ResetLine();
}

void WatchModel::Detached() {
    mode_ = Mode::Detached;
    ResetLine();
}

void WatchModel::AttachedDownload() {
    mode_ = Mode::Download;
    ResetLine();
    session_ = DownloadSession();
    // A region left open by a download that broke off is not continued.
    regions_.Abandon();
}

std::optional<AfterRestart> WatchModel::RestartedNormal() {
    if (!settings_.newVersion.empty()) settings_.version = settings_.newVersion;
    Attached();
    if (!settings_.afterRestart.rejoin) return std::nullopt;
    return settings_.afterRestart;
}

void WatchModel::Rejoined() {
    ++rejoins_;
    Attached();
}

void WatchModel::ResetLine() {
    line_.clear();
    overlong_ = false;
    lfMayFollowCr_ = false;
    lastCommandEchoed_ = false;
}

Reaction WatchModel::Receive(std::string_view bytes, std::int64_t nowMs) {
    if (sink_) {
        sunkBytes_ += bytes.size();
        return {};
    }
    switch (mode_) {
    case Mode::Normal: return ReceiveNormal(bytes, nowMs);
    case Mode::Download: return ReceiveDownload(bytes);
    case Mode::Detached: break;  // nobody is listening
    }
    return {};
}

Reaction WatchModel::ReceiveDownload(std::string_view bytes) {
    Reaction out;
    DownloadOutput got = session_.Receive(bytes, regions_, downloadFaults_);
    if (!got.send.empty()) out.writes.push_back({std::move(got.send), 0});
    out.restartAfterMs = got.watchdogMs;
    if (got.vanished) {
        out.dropPort = true;
        Detached();
    }
    return out;
}

Reaction WatchModel::ReceiveNormal(std::string_view bytes, std::int64_t nowMs) {
    Reaction out;
    for (std::size_t i = 0; i < bytes.size() && mode_ == Mode::Normal; ++i) {
        const char c = bytes[i];
        if (std::exchange(lfMayFollowCr_, false) && c == '\n') {
            // The rest of a CR LF split across two reads.
            if (lastCommandEchoed_) out.writes.push_back({"\n", 0});
            continue;
        }
        // The tool writes most commands with their C string terminator.
        if (c == '\0' && line_.empty() && !overlong_) continue;

        std::string_view lineEnd;
        if (c == '\n') {
            lineEnd = "\n";
        } else if (c == '\r' && !IsRestoreDataLine(line_)) {
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                lineEnd = "\r\n";
                ++i;
            } else {
                lineEnd = "\r";
                lfMayFollowCr_ = true;
            }
        }
        if (lineEnd.empty()) {
            if (line_.size() < kMaxLine) {
                line_ += c;
            } else {
                overlong_ = true;
            }
            continue;
        }
        std::string text = std::exchange(line_, {});
        if (std::exchange(overlong_, false)) {
            log_.push_back({nowMs, text});
            out.writes.push_back({std::string(kWrongReply), 0});
            lastCommandEchoed_ = false;
            continue;
        }
        if (text.empty()) continue;  // blank lines are not commands
        HandleCommand(std::move(text), lineEnd, nowMs, out);
    }
    return out;
}

void WatchModel::HandleCommand(std::string text, std::string_view lineEnd, std::int64_t nowMs, Reaction& out) {
    log_.push_back({nowMs, text});
    std::string data;
    const AtCommandKind kind = ClassifyCommand(text, &data);

    FaultKind fault = FaultKind::None;
    std::string raw;
    if (Fault* f = FindByKey(faults_, text)) {
        fault = f->kind;
        if (f->kind == FaultKind::FailFirst) {
            fault = FaultKind::None;
            if (f->remaining > 0) {
                --f->remaining;
                fault = f->failAs;
            }
        } else if (f->kind == FaultKind::Raw) {
            raw = f->raw;
        }
    }
    lastCommandEchoed_ = false;
    if (fault == FaultKind::Silent) return;  // a hung watch echoes nothing either

    if (settings_.echo) {
        out.writes.push_back({text + std::string(lineEnd), 0});
        lastCommandEchoed_ = true;
    }

    std::string reply;
    switch (fault) {
    case FaultKind::Raw: reply = std::move(raw); break;
    case FaultKind::Wrong: reply = kWrongReply; break;
    case FaultKind::Partial: reply = PartialReply(kind, settings_); break;
    default:
        if (kind == AtCommandKind::RestoreDataA || kind == AtCommandKind::RestoreDataB) {
            reply = AnswerRestoreData(kind, std::move(data));
        } else {
            reply = NormalReply(kind, settings_);
        }
        if (kind == AtCommandKind::Reboot || kind == AtCommandKind::PowerOff) {
            ++reboots_;
            if (settings_.onReboot == OnReboot::Unplug || settings_.onReboot == OnReboot::UnplugOnce) {
                if (settings_.onReboot == OnReboot::UnplugOnce) settings_.onReboot = OnReboot::Stay;
                out.dropPort = true;
                if (!downloadFaults_.neverReturns) out.downloadAfterMs = settings_.downloadDelayMs;
                Detached();
            }
        }
        break;
    }
    if (reply.empty()) return;
    const int* delay = FindByKey(delays_, text);
    out.writes.push_back({std::move(reply), delay ? *delay : 0});
}

std::string WatchModel::AnswerRestoreData(AtCommandKind kind, std::string data) {
    const bool partA = kind == AtCommandKind::RestoreDataA;
    int& errors = partA ? restoreErrorsA_ : restoreErrorsB_;
    const char* refusal = partA ? "\r\nRSDTA_ERROR\r\n" : "\r\nRSDTB_ERROR\r\n";
    if (errors > 0) {
        --errors;
        return refusal;
    }
    // Nothing to store is not a successful write.
    if (data.empty()) return refusal;
    (partA ? restoreA_ : restoreB_) = data;
    restoreWrites_.push_back({partA ? 'A' : 'B', std::move(data)});
    return NormalReply(kind, settings_);
}

void WatchModel::SetDelay(std::string_view key, int ms) {
    const std::string k = Upper(key);
    if (ms <= 0) {
        delays_.erase(k);
    } else {
        delays_[k] = ms;
    }
}

void WatchModel::SetFault(std::string_view key, Fault fault) {
    const std::string k = Upper(key);
    if (fault.kind == FaultKind::None) {
        faults_.erase(k);
    } else {
        faults_[k] = std::move(fault);
    }
}

void WatchModel::ArmRestoreErrors(char part, int count) {
    (part == 'A' ? restoreErrorsA_ : restoreErrorsB_) = std::max(count, 0);
}

void WatchModel::ClearFaults() {
    faults_.clear();
    delays_.clear();
    restoreErrorsA_ = 0;
    restoreErrorsB_ = 0;
    downloadFaults_ = {};
}

void WatchModel::ClearRestoreData() {
    restoreA_.clear();
    restoreB_.clear();
    restoreWrites_.clear();
}

void WatchModel::Reset() {
    settings_ = initial_;
    ClearFaults();
    ClearLog();
    ClearRestoreData();
    reboots_ = 0;
    rejoins_ = 0;
    regions_.Clear();
    sink_ = false;
    sunkBytes_ = 0;
    ResetLine();
}

}  // namespace tvsp::vwatch
