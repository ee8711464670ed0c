// The watch's AT commands: their exact bytes and how each reply is judged.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace TVSP {

// A command as written to the port: text plus the byte count written (fixed commands include their
// terminating zero byte; "AT\r\n" does not).
struct AtCommand {
    const char* text;
    std::size_t byteCount;
};

inline constexpr AtCommand kAtReadFirmwareVersion{"AT+CGMR\r\n", 10};
inline constexpr AtCommand kAtReadImei{"AT+EGMR=0,7\r\n", 14};
inline constexpr AtCommand kAtTestStart{"AT^TESTSTART\r\n", 15};
inline constexpr AtCommand kAtPing{"AT\r\n", 4};
inline constexpr AtCommand kAtSaveDataOnWatch{"AT+ESDS=0\r\n", 12};
inline constexpr AtCommand kAtRestoreDataOnWatch{"AT+ESDS=1\r\n", 12};
inline constexpr AtCommand kAtStartFlashWatchdog{"AT^STARTFLASHROM\r\n", 19};
inline constexpr AtCommand kAtReboot{"AT+CFUN=1,1\r\n", 14};
inline constexpr AtCommand kAtPowerOff{"AT^PWROFF\r\n", 12};

// Replies are judged as C strings: callers pass the bytes up to the first zero byte.

// Text after "+CGMR: " up to the first CR or LF (or the end); nullopt when the marker is missing
// or nothing follows it. A line end right after the marker gives an empty version, not nullopt.
std::optional<std::string> JudgeFirmwareVersionReply(std::string_view reply);

// Text between the first and the last double quote when the reply contains "OK"; empty otherwise.
std::string JudgeImeiReply(std::string_view reply);

// "OK1-OK2" anywhere.
bool JudgeTestStartReply(std::string_view reply);

// The echo "AT^TESTSTART\r\n" must occur, and "OK1-OK2" after it. The search starts right at the
// end of the echo: starting one byte beyond would refuse "AT^TESTSTART\r\nOK1-OK2" and read past
// a reply that ends with the echo.
bool JudgeTestStartEchoedReply(std::string_view reply);

// "OK" anywhere (AT, AT+ESDS=0, AT+ESDS=1).
bool JudgeOkReply(std::string_view reply);

// "BLE WATCHDOG START" anywhere.
bool JudgeFlashWatchdogReply(std::string_view reply);

// The reply bytes as the C string the judges see: up to the first zero byte, and never beyond the
// bytes read, so a full buffer without a zero byte is still bounded.
std::string_view ReplyAsCString(const char* buffer, std::size_t bytesRead);

}  // namespace TVSP
