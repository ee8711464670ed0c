// The main window's status rules: version, date and notes, verdict, panels, bottom bar.
#include "ui/main_window_status.h"

#include <cwchar>
#include <string_view>

#include "device/version.h"
#include "engine/model_catalog.h"
#include "engine/user_texts.h"
#include "ui/user_texts.h"

namespace TVSP {
namespace {

constexpr std::uint64_t kLastTestDeviceVersion = 16;

using namespace UiTexts;

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

class ViewBuilder {
public:
    void Show(const char* name, bool visible) { view.controls[name].visible = visible; }
    void Text(const char* name, std::wstring text) { view.controls[name].text = std::move(text); }
    StatusView view;
};

}  // namespace

std::wstring FormatReleaseDate(std::int64_t secondsSince1970) {
    if (secondsSince1970 == 0) return {};
    std::int64_t days = secondsSince1970 / 86400;
    if (secondsSince1970 % 86400 < 0) --days;
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    wchar_t text[64];
    std::swprintf(text, 64, kReleaseDateFormat, static_cast<long long>(year), month, day);
    return text;
}

StatusView ComputeStatusView(const StatusInputs& in) {
    ViewBuilder b;
    const bool shownStates = in.state == DisplayState::Disconnected || in.state == DisplayState::Ready;
    const bool ready = in.state == DisplayState::Ready;
    const bool usbDiskModel = in.modelKey == kUsbDiskModelKey;
    bool upgrade = false;

    if (shownStates) {
        // Until the server has named a newest version, the watch's own version stays shown.
        if (!in.latest.version.empty()) b.Text("version", Widen(in.latest.version));
        b.Text("updatedatevalue", FormatReleaseDate(in.latest.releaseTime));
        if (in.latest.note1.empty()) {
            b.Show("updatelogname", false);
            b.Show("updatelogvalue1", false);
            b.Show("updatelogvalue2", false);
        } else {
            b.Show("updatelogname", true);
            b.Show("updatelogvalue1", true);
            b.Text("updatelogvalue1", L"1. " + in.latest.note1);
            // An empty second line is hidden, so an older note never stays on screen.
            b.Show("updatelogvalue2", !in.latest.note2.empty());
            if (!in.latest.note2.empty()) b.Text("updatelogvalue2", L"2. " + in.latest.note2);
        }

        if (in.watchVersion.empty()) {
            b.Text("detail", kNewVersionConnect);
            b.Show("new", true);
        } else if (ParseVersion(in.watchVersion) <= kLastTestDeviceVersion) {
            b.Text("detail", ready ? kTestDevice : L"");
            b.Show("new", false);
        } else if (ParseVersionAligned(in.latest.version) > ParseVersionAligned(in.watchVersion)) {
            // Compared part by part: a two-part version from one side must not sort below a
            // three-part one from the other merely because it has fewer parts.
            upgrade = true;
            b.Show("new", true);
            if (!ready) {
                b.Text("detail", kNewVersionConnect);
            } else if (usbDiskModel) {
                b.Text("detail", kEnsureNetwork);
                b.Show("detail2", true);
            } else {
                b.Text("detail", std::wstring(kCurrentVersion) + Widen(in.watchVersion) + L", " + kCanUpgrade);
            }
        } else {
            b.Show("new", false);
            if (!ready) b.Text("detail", L"");
            else if (usbDiskModel) b.Text("detail", kCopiedUnplug);
            else b.Text("detail", in.awaitSelfUpgrade ? kSelfUpgradeText : kUpToDate);
        }
    }

    switch (in.state) {
    case DisplayState::Disconnected:
        b.Show("panel-ready", true);
        b.Show("panel-fail", false);
        b.Text("WatchTitle", std::wstring(kProductName) + kNotConnectedSuffix);
        b.Show("watchdisconnect", true);
        b.Show("startconnect", true);
        b.Show("watchconnect", false);
        for (const char* name : {"updateButton", "progress", "reflashhint", "reflashbtn"}) b.Show(name, false);
        break;
    case DisplayState::Ready:
        b.Show("panel-ready", true);
        b.Show("panel-fail", false);
        b.Text("WatchTitle", kProductName);
        b.Show("watchconnect", true);
        b.Show("watchdisconnect", false);
        b.Show("startconnect", false);
        b.Show("updateButton", upgrade);
        for (const char* name : {"progress", "reflashhint", "reflashbtn"}) b.Show(name, false);
        break;
    case DisplayState::Failed:
        b.Show("panel-ready", false);
        b.Show("panel-fail", true);
        b.Show("back", in.failureMayGoBack);
        b.Show("retry", !in.failureMayGoBack);
        b.view.clearFlashRunning = true;
        break;
    }

    if (in.connected) {
        b.Text("Status", kConnected);
        b.Show("MobileIcon", false);
        b.Show("MobileIconLink", true);
    } else {
        b.Text("Status", kNotConnected);
        b.Show("MobileIcon", true);
        b.Show("MobileIconLink", false);
        b.Show("detail2", false);
    }
    return b.view;
}

}  // namespace TVSP
