// The watch models' upgrade-procedure classes, named by what a class's upgrade does.
#pragma once

namespace TVSP {

// A class travels as its number (ModelClassForKey assigns it); ModelClassValue names the numbers
// there are. Unscoped, so a named class compares with a number as it arrives from a record.
enum ModelClassValue : unsigned {
    // User data is restored from the server once the flashed watch is back.
    kModelClassServerRestore = 20,
    // User data is restored on the watch itself once it is back.
    kModelClassOnWatchRestore = 31,
    // The flashed watch restarts by the flash watchdog; the tool waits for the restart.
    kModelClassFlashWatchdog = 32,
    // Only the OTA region is written; the watch upgrades itself from it.
    kModelClassOtaOnly = 33,
    // Powered off rather than rebooted; only the OTA region is written, the watch upgrades itself.
    kModelClassPowerOffOta = 50,
    // Powered off rather than rebooted; the whole ROM set is written and the watch restarts.
    kModelClassPowerOffFull = 51,
};

// Classes whose download writes only the OTA region.
constexpr bool WritesOnlyOtaRegion(unsigned modelClass) {
    return modelClass == kModelClassOtaOnly || modelClass == kModelClassPowerOffOta;
}

// Classes that are powered off where the others are rebooted.
constexpr bool IsPoweredOffToRestart(unsigned modelClass) {
    return modelClass == kModelClassPowerOffOta || modelClass == kModelClassPowerOffFull;
}

}  // namespace TVSP
