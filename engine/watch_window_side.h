// IWatchWindowSide: what watch detection and the download engine ask of the main window.
#pragma once

#include <string>

namespace TVSP {

// The window's side of taking over a watch (the download engine also closes the guide through
// it); the main window implements it.
class IWatchWindowSide {
public:
    virtual ~IWatchWindowSide() = default;
    // Closes the connection guide when it is open (its 200 ms close timer and WM_CLOSE).
    virtual void CloseConnectionGuideIfOpen() = 0;
    virtual void ShowFirmwareVersion(const std::string& version) = 0;
    // Another model: forget the newest version known and start a ROM check unless one runs.
    virtual void OnModelChanged() = 0;
    virtual void ShowBatteryHint(const std::wstring& hint) = 0;
    // Same model again: when a newest version is known, show the watch as ready.
    virtual void OnSameModelAttached() = 0;
    // The "imei" remembered for a restore still pending (may be empty).
    virtual void CheckPendingRestore(const std::string& imei) = 0;
};

}  // namespace TVSP
