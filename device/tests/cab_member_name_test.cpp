// Cabinet member names: which stay inside the destination folder and which are refused.
#include "device/cab_member_name.h"

#include <gtest/gtest.h>

#include <string>

namespace TVSP {
namespace {

using namespace std::string_literals;

TEST(IsSafeCabMemberName, AcceptsRelativeNames) {
    const std::wstring rows[] = {
        L"usbser.sys",
        L"win7_64\\usbser.sys",
        L"driver\\Win7\\usb2ser_Win7.inf",
        L"driver/Win7/usb2ser_Win7.inf",
        L"mixed/sub\\file.bin",
        L"a",
        L".hidden",
        L"..a",
        L"a..b",
        L"ROM_1.0.cfg",
        L"固件\\版本 1.bin",
        L"console.log",   // "CON" only as a whole base name
        L"COM10",
        L"LPT",
        L"nulls\\x",
    };
    for (const std::wstring& name : rows) EXPECT_TRUE(IsSafeCabMemberName(name)) << name.size() << " units";
}

TEST(IsSafeCabMemberName, RefusesNamesThatLeaveOrMisnameTheDestination) {
    const std::wstring rows[] = {
        L"",
        L"\\usbser.sys",
        L"/etc/passwd",
        L"\\\\server\\share\\x",
        L"//server/share/x",
        L"C:\\Windows\\x.dll",
        L"C:x.dll",
        L"a:b",                 // alternate stream
        L"a\\\\b",              // empty component
        L"a//b",
        L"a\\",
        L"a/",
        L".",
        L"..",
        L"..\\x",
        L"a\\..\\..\\x",
        L"a/../b",
        L"a\\.\\b",
        L"a\\.",
        L"...",
        L". ",
        L"a\\.. \\b",
        L"CON",
        L"nul.txt",
        L"a\\com1",
        L"LPT9.log",
        L"con ",
        L"Aux\\x",
        L"a\0b"s,
        L"a\tb",
        L"\x1F",
    };
    for (const std::wstring& name : rows) EXPECT_FALSE(IsSafeCabMemberName(name)) << name.size() << " units";
}

}  // namespace
}  // namespace TVSP
