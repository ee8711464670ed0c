// The watch models' upgrade-procedure classes, named by what a class's upgrade does.
#pragma once

namespace TVSP {

// A class travels as its number; these are the numbers there are (ModelClassForKey assigns them).
// User data is restored from the server once the flashed watch is back.
inline constexpr unsigned kModelClassServerRestore = 20;
// User data is restored on the watch itself once it is back.
inline constexpr unsigned kModelClassOnWatchRestore = 31;
// The flashed watch restarts by the flash watchdog; the tool waits for the restart.
inline constexpr unsigned kModelClassFlashWatchdog = 32;
// Only the OTA region is written; the watch upgrades itself from it.
inline constexpr unsigned kModelClassOtaOnly = 33;
// Powered off rather than rebooted; only the OTA region is written, the watch upgrades itself.
inline constexpr unsigned kModelClassPowerOffOta = 50;
// Powered off rather than rebooted; the whole ROM set is written and the watch restarts.
inline constexpr unsigned kModelClassPowerOffFull = 51;

// Classes whose download writes only the OTA region.
constexpr bool WritesOnlyOtaRegion(unsigned modelClass) {
    return modelClass == kModelClassOtaOnly || modelClass == kModelClassPowerOffOta;
}

// Classes that are powered off where the others are rebooted.
constexpr bool IsPoweredOffToRestart(unsigned modelClass) {
    return modelClass == kModelClassPowerOffOta || modelClass == kModelClassPowerOffFull;
}

}  // namespace TVSP
