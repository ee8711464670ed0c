// Classification of device-change notifications: hardware-id matching, the disk-pending flag and its gates.
#include "device/usb_presence.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace TVSP {
namespace {

constexpr std::uint32_t kArr = kDeviceArrival;
constexpr std::uint32_t kRem = kDeviceRemoveComplete;
constexpr std::uint32_t kQueryRemove = 0x8001;        // DBT_DEVICEQUERYREMOVE
constexpr std::uint32_t kRemovePending = 0x8003;      // DBT_DEVICEREMOVEPENDING
constexpr std::uint32_t kNodesChanged = 0x0007;       // DBT_DEVNODES_CHANGED
constexpr std::uint32_t kMask = 0x00000010;           // drive E:

const wchar_t* const kSerial = L"\\\\?\\USB#VID_0E8D&PID_0003#5&1a2b3c&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const wchar_t* const kSerialLower = L"\\\\?\\usb#vid_0e8d&pid_0003#5&1a2b3c&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const wchar_t* const kDisk = L"\\\\?\\USB#VID_0E8D&PID_0002#6&2b&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const wchar_t* const kDiskMixed = L"\\\\?\\usb#Vid_0e8D&pId_0002#6&2b&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const wchar_t* const kBoth = L"\\\\?\\USB#VID_0E8D&PID_0002&MI_00#VID_0E8D&PID_0003#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const wchar_t* const kBothReversed = L"\\\\?\\USB#VID_0E8D&PID_0003#VID_0E8D&PID_0002#x";
const wchar_t* const kOther = L"\\\\?\\USB#VID_0E8D&PID_0004#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const wchar_t* const kNearMiss = L"\\\\?\\USB#VID_0E8D&PID_000#3#VID_0E8D_PID_0003#VID_0E8E&PID_0003";

struct Row {
    const char* name;
    std::uint32_t event;
    BroadcastRecord record;
    const wchar_t* path;
    bool pendingBefore, flashRunning, connected;
    WatchEvent expected;
    std::uint32_t expectedMask;
    bool pendingAfter;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

using BR = BroadcastRecord;
using WE = WatchEvent;

const Row kRows[] = {
    // Interface paths: serial function, disk function, both, neither.
    {"serial arrival", kArr, BR::DeviceInterface, kSerial, false, false, false, WE::SerialPortArrival, 0, false},
    {"serial removal", kRem, BR::DeviceInterface, kSerial, false, false, false, WE::SerialPortRemoval, 0, false},
    {"serial lower-case", kArr, BR::DeviceInterface, kSerialLower, false, false, false, WE::SerialPortArrival, 0, false},
    {"serial during flash", kRem, BR::DeviceInterface, kSerial, false, true, true, WE::SerialPortRemoval, 0, false},
    {"serial leaves pending armed", kArr, BR::DeviceInterface, kSerial, true, false, false, WE::SerialPortArrival, 0, true},
    {"disk function arrival arms", kArr, BR::DeviceInterface, kDisk, false, false, false, WE::DiskFunctionSeen, 0, true},
    {"disk function removal arms", kRem, BR::DeviceInterface, kDisk, false, false, false, WE::DiskFunctionSeen, 0, true},
    {"disk function mixed case", kArr, BR::DeviceInterface, kDiskMixed, false, false, false, WE::DiskFunctionSeen, 0, true},
    {"disk function while connected", kArr, BR::DeviceInterface, kDisk, false, true, true, WE::DiskFunctionSeen, 0, true},
    {"both ids: serial only", kArr, BR::DeviceInterface, kBoth, false, false, false, WE::SerialPortArrival, 0, false},
    {"both ids reversed", kRem, BR::DeviceInterface, kBothReversed, false, false, false, WE::SerialPortRemoval, 0, false},
    {"other product", kArr, BR::DeviceInterface, kOther, false, false, false, WE::None, 0, false},
    {"other product keeps pending", kArr, BR::DeviceInterface, kOther, true, false, false, WE::None, 0, true},
    {"near misses", kArr, BR::DeviceInterface, kNearMiss, false, false, false, WE::None, 0, false},
    {"empty path", kArr, BR::DeviceInterface, L"", false, false, false, WE::None, 0, false},
    // Volumes: only while armed, arrival gated by the workflow flags, removal always reported.
    {"volume arrival armed", kArr, BR::Volume, nullptr, true, false, false, WE::WatchDiskArrival, kMask, false},
    {"volume arrival not armed", kArr, BR::Volume, nullptr, false, false, false, WE::None, 0, false},
    {"volume arrival while connected", kArr, BR::Volume, nullptr, true, false, true, WE::None, 0, false},
    {"volume arrival while flashing", kArr, BR::Volume, nullptr, true, true, false, WE::None, 0, false},
    {"volume removal armed", kRem, BR::Volume, nullptr, true, false, false, WE::WatchDiskRemoval, 0, false},
    {"volume removal while connected", kRem, BR::Volume, nullptr, true, true, true, WE::WatchDiskRemoval, 0, false},
    {"volume removal not armed", kRem, BR::Volume, nullptr, false, false, false, WE::None, 0, false},
    // Other events and record types never touch the flag.
    {"query remove of serial", kQueryRemove, BR::DeviceInterface, kSerial, false, false, false, WE::None, 0, false},
    {"remove pending of disk fn", kRemovePending, BR::DeviceInterface, kDisk, false, false, false, WE::None, 0, false},
    {"remove pending of volume", kRemovePending, BR::Volume, nullptr, true, false, false, WE::None, 0, true},
    {"nodes changed", kNodesChanged, BR::None, nullptr, true, false, false, WE::None, 0, true},
    {"no record", kArr, BR::None, nullptr, true, false, false, WE::None, 0, true},
    {"malformed record", kArr, BR::Malformed, kSerial, true, false, false, WE::None, 0, true},
    {"port record", kArr, BR::Other, kSerial, true, false, false, WE::None, 0, true},
};

class ClassifyTable : public ::testing::TestWithParam<Row> {};

TEST_P(ClassifyTable, EventAndFlag) {
    const Row& row = GetParam();
    DeviceChange change;
    change.event = row.event;
    change.record = row.record;
    if (row.path) change.interfacePath = row.path;
    change.unitMask = kMask;
    UsbPresenceState state{row.pendingBefore, row.flashRunning, row.connected};
    const WatchEventResult result = ClassifyDeviceChange(change, state);
    EXPECT_STREQ(WatchEventName(result.event), WatchEventName(row.expected));
    EXPECT_EQ(result.unitMask, row.expectedMask);
    EXPECT_EQ(state.usbDiskPending, row.pendingAfter);
    // The workflow flags are only read.
    EXPECT_EQ(state.flashRunning, row.flashRunning);
    EXPECT_EQ(state.connected, row.connected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ClassifyTable, ::testing::ValuesIn(kRows));

DeviceChange Interface(std::uint32_t event, const wchar_t* path) {
    DeviceChange change;
    change.event = event;
    change.record = BroadcastRecord::DeviceInterface;
    change.interfacePath = path;
    return change;
}

DeviceChange Volume(std::uint32_t event, std::uint32_t mask) {
    DeviceChange change;
    change.event = event;
    change.record = BroadcastRecord::Volume;
    change.unitMask = mask;
    return change;
}

std::vector<WatchEvent> Feed(const std::vector<DeviceChange>& changes, UsbPresenceState& state) {
    std::vector<WatchEvent> events;
    for (const DeviceChange& change : changes) events.push_back(ClassifyDeviceChange(change, state).event);
    return events;
}

// The newest model: disk function, then its volume; pulling the cable removes both in turn.
TEST(ClassifySequence, DiskFunctionThenVolumeArrivalAndRemoval) {
    UsbPresenceState state;
    EXPECT_EQ(Feed({Interface(kArr, kDisk), Volume(kArr, 0x20), Volume(kArr, 0x40)}, state),
              (std::vector<WatchEvent>{WE::DiskFunctionSeen, WE::WatchDiskArrival, WE::None}));
    // Only the first volume after the disk function is the watch's: the flag is consumed.
    EXPECT_FALSE(state.usbDiskPending);
    EXPECT_EQ(Feed({Interface(kRem, kDisk), Volume(kRem, 0x20)}, state),
              (std::vector<WatchEvent>{WE::DiskFunctionSeen, WE::WatchDiskRemoval}));
    EXPECT_FALSE(state.usbDiskPending);
}

TEST(ClassifySequence, UnitMaskOfTheArmedVolumeIsHandedOnUnchanged) {
    UsbPresenceState state;
    EXPECT_EQ(ClassifyDeviceChange(Interface(kArr, kDisk), state).event, WE::DiskFunctionSeen);
    const WatchEventResult result = ClassifyDeviceChange(Volume(kArr, 0x80000001u), state);
    EXPECT_EQ(result.event, WE::WatchDiskArrival);
    EXPECT_EQ(result.unitMask, 0x80000001u);
}

// A USB stick plugged in without the watch is never taken for the watch's disk.
TEST(ClassifySequence, VolumeWithoutDiskFunctionIsIgnored) {
    UsbPresenceState state;
    EXPECT_EQ(Feed({Volume(kArr, 0x10), Interface(kArr, kOther), Volume(kArr, 0x10), Volume(kRem, 0x10)}, state),
              (std::vector<WatchEvent>{WE::None, WE::None, WE::None, WE::None}));
}

// A volume arrival swallowed while connected still disarms: the next volume is not the watch's.
TEST(ClassifySequence, GatedArrivalStillConsumesTheFlag) {
    UsbPresenceState state;
    state.connected = true;
    EXPECT_EQ(Feed({Interface(kArr, kDisk), Volume(kArr, 0x10)}, state),
              (std::vector<WatchEvent>{WE::DiskFunctionSeen, WE::None}));
    state.connected = false;
    EXPECT_EQ(ClassifyDeviceChange(Volume(kArr, 0x10), state).event, WE::None);
}

TEST(PathContainsHardwareId, CaseFoldsAsciiOnly) {
    EXPECT_TRUE(PathContainsHardwareId(L"vid_0e8d&pid_0003", kWatchSerialHardwareId));
    EXPECT_TRUE(PathContainsHardwareId(L"xxVID_0E8D&PID_0003", kWatchSerialHardwareId));   // at the end
    EXPECT_TRUE(PathContainsHardwareId(L"VID_0E8D&PID_0003xx", kWatchSerialHardwareId));   // at the start
    EXPECT_FALSE(PathContainsHardwareId(L"VID_0E8D&PID_000", kWatchSerialHardwareId));    // one short
    EXPECT_FALSE(PathContainsHardwareId(L"ID_0E8D&PID_0003", kWatchSerialHardwareId));      // vendor cut
    // Characters outside ASCII never fold onto ASCII letters.
    EXPECT_FALSE(PathContainsHardwareId(L"VID_0E8\u0130&PID_0003", kWatchSerialHardwareId));
    EXPECT_FALSE(PathContainsHardwareId(L"\uFF36ID_0E8D&PID_0003", kWatchSerialHardwareId));
}

}  // namespace
}  // namespace TVSP
