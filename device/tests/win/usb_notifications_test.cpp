// Decoding of real DEV_BROADCAST records, malformed sizes included, and registration on a window.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "device/usb_notifications.h"

namespace {

using namespace TVSP;

constexpr DWORD kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
const std::wstring kWatchPath = L"\\\\?\\USB#VID_0E8D&PID_0003#0123456789#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// A record in an aligned buffer larger than it claims to be, the tail filled with more text.
class Record {
public:
    Record() { std::memset(bytes_, 0, sizeof bytes_); }
    // An interface record carrying path and its terminator; size is dbch_size (0: the true size).
    static Record Interface(const std::wstring& path, DWORD size = 0) {
        Record r;
        auto* header = r.header();
        header->dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        std::memcpy(r.bytes_ + kNameOffset, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        header->dbch_size = size ? size : static_cast<DWORD>(kNameOffset + (path.size() + 1) * sizeof(wchar_t));
        return r;
    }
    static Record Volume(DWORD mask, DWORD size = sizeof(DEV_BROADCAST_VOLUME)) {
        Record r;
        auto* volume = reinterpret_cast<DEV_BROADCAST_VOLUME*>(r.bytes_);
        volume->dbcv_devicetype = DBT_DEVTYP_VOLUME;
        volume->dbcv_unitmask = mask;
        volume->dbcv_size = size;
        return r;
    }
    static Record Typed(DWORD type, DWORD size) {
        Record r;
        r.header()->dbch_devicetype = type;
        r.header()->dbch_size = size;
        return r;
    }
    DEV_BROADCAST_HDR* header() { return reinterpret_cast<DEV_BROADCAST_HDR*>(bytes_); }
    LPARAM lparam() { return reinterpret_cast<LPARAM>(bytes_); }

private:
    alignas(8) unsigned char bytes_[1024];
};

const char* RecordName(BroadcastRecord record) {
    switch (record) {
    case BroadcastRecord::None: return "None";
    case BroadcastRecord::Malformed: return "Malformed";
    case BroadcastRecord::DeviceInterface: return "DeviceInterface";
    case BroadcastRecord::Volume: return "Volume";
    case BroadcastRecord::Other: return "Other";
    }
    return "?";
}

struct Row {
    const char* name;
    WPARAM event;
    Record record;
    BroadcastRecord expected;
    std::wstring path;
    DWORD mask;
};

TEST(DecodeDeviceChange, RecordsAndSizes) {
    const std::wstring truncated = kWatchPath.substr(0, 20);  // "...VID_0E8D&PID_000" without its last digit
    const Row rows[] = {
        {"interface arrival", DBT_DEVICEARRIVAL, Record::Interface(kWatchPath), BroadcastRecord::DeviceInterface, kWatchPath, 0},
        {"interface removal", DBT_DEVICEREMOVECOMPLETE, Record::Interface(kWatchPath), BroadcastRecord::DeviceInterface, kWatchPath, 0},
        {"filter-sized record", DBT_DEVICEARRIVAL, Record::Interface(L"", sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)), BroadcastRecord::DeviceInterface, L"", 0},
        {"size ends at the name", DBT_DEVICEARRIVAL, Record::Interface(kWatchPath, kNameOffset), BroadcastRecord::DeviceInterface, L"", 0},
        {"size one short of the name", DBT_DEVICEARRIVAL, Record::Interface(kWatchPath, kNameOffset - 1), BroadcastRecord::Malformed, L"", 0},
        {"size cuts the name", DBT_DEVICEARRIVAL, Record::Interface(kWatchPath, kNameOffset + 20 * 2), BroadcastRecord::DeviceInterface, truncated, 0},
        {"odd size", DBT_DEVICEARRIVAL, Record::Interface(kWatchPath, kNameOffset + 20 * 2 + 1), BroadcastRecord::DeviceInterface, truncated, 0},
        {"size below the header", DBT_DEVICEARRIVAL, Record::Interface(kWatchPath, sizeof(DEV_BROADCAST_HDR) - 1), BroadcastRecord::Malformed, L"", 0},
        {"size all ones", DBT_DEVICEARRIVAL, Record::Interface(kWatchPath, 0xFFFFFFFF), BroadcastRecord::Malformed, L"", 0},
        {"huge size", DBT_DEVICEREMOVECOMPLETE, Record::Interface(kWatchPath, 0x10001), BroadcastRecord::Malformed, L"", 0},
        {"volume", DBT_DEVICEARRIVAL, Record::Volume(0x10), BroadcastRecord::Volume, L"", 0x10},
        {"volume ends at its mask", DBT_DEVICEREMOVECOMPLETE, Record::Volume(0x80000000u, 16), BroadcastRecord::Volume, L"", 0x80000000u},
        {"volume cuts its mask", DBT_DEVICEARRIVAL, Record::Volume(0x10, 15), BroadcastRecord::Malformed, L"", 0},
        {"port record", DBT_DEVICEARRIVAL, Record::Typed(DBT_DEVTYP_PORT, 64), BroadcastRecord::Other, L"", 0},
        {"handle record", DBT_DEVICEARRIVAL, Record::Typed(DBT_DEVTYP_HANDLE, 64), BroadcastRecord::Other, L"", 0},
        {"other event", DBT_DEVICEQUERYREMOVE, Record::Interface(kWatchPath), BroadcastRecord::None, L"", 0},
        {"remove pending", DBT_DEVICEREMOVEPENDING, Record::Volume(0x10), BroadcastRecord::None, L"", 0},
    };
    for (Row row : rows) {
        const DeviceChange change = DecodeDeviceChange(row.event, row.record.lparam());
        EXPECT_EQ(change.event, row.event) << row.name;
        EXPECT_STREQ(RecordName(change.record), RecordName(row.expected)) << row.name;
        EXPECT_EQ(change.interfacePath, row.path) << row.name;
        EXPECT_EQ(change.unitMask, row.mask) << row.name;
    }
}

// Size 0 needs its own row: Interface() reads 0 as "the true size".
TEST(DecodeDeviceChange, ZeroSizeIsMalformed) {
    Record record = Record::Interface(kWatchPath);
    record.header()->dbch_size = 0;
    EXPECT_EQ(DecodeDeviceChange(DBT_DEVICEARRIVAL, record.lparam()).record, BroadcastRecord::Malformed);
}

// Events without a record must not touch lParam at all: here it points nowhere.
TEST(DecodeDeviceChange, LParamOfOtherEventsIsNeverRead) {
    for (WPARAM event : {WPARAM(DBT_DEVNODES_CHANGED), WPARAM(DBT_QUERYCHANGECONFIG), WPARAM(DBT_CONFIGCHANGED),
                         WPARAM(DBT_DEVICEQUERYREMOVE), WPARAM(DBT_DEVICETYPESPECIFIC), WPARAM(DBT_CUSTOMEVENT)}) {
        const DeviceChange change = DecodeDeviceChange(event, 0x10);
        EXPECT_EQ(change.record, BroadcastRecord::None) << event;
    }
    EXPECT_EQ(DecodeDeviceChange(DBT_DEVICEARRIVAL, 0).record, BroadcastRecord::None);
    EXPECT_EQ(DecodeDeviceChange(DBT_DEVICEREMOVECOMPLETE, 0).record, BroadcastRecord::None);
}

// What a main window does with the message: classify, keep the flag between messages.
UsbPresenceState g_state;
std::vector<WatchEventResult> g_results;

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        g_results.push_back(ClassifyDeviceChangeMessage(wParam, lParam, g_state));
        return TRUE;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_state = {};
        g_results.clear();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = MainProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TvspUsbNotificationTestMain";
        ::RegisterClassW(&wc);
        window_ = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { ::DestroyWindow(window_); }
    HWND window_ = nullptr;
};

TEST_F(MainWindowTest, DiskFunctionThenVolumeThroughTheMessage) {
    Record disk = Record::Interface(L"\\\\?\\usb#vid_0e8d&pid_0002#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    Record volume = Record::Volume(0x10);
    Record malformed = Record::Volume(0x10, 15);
    EXPECT_EQ(::SendMessageW(window_, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, disk.lparam()), TRUE);
    EXPECT_TRUE(g_state.usbDiskPending);
    // A broken volume record neither counts as the watch's disk nor disarms the flag.
    ::SendMessageW(window_, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, malformed.lparam());
    EXPECT_TRUE(g_state.usbDiskPending);
    ::SendMessageW(window_, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, volume.lparam());
    EXPECT_FALSE(g_state.usbDiskPending);
    ASSERT_EQ(g_results.size(), 3u);
    EXPECT_EQ(g_results[0].event, WatchEvent::DiskFunctionSeen);
    EXPECT_EQ(g_results[1].event, WatchEvent::None);
    EXPECT_EQ(g_results[2].event, WatchEvent::WatchDiskArrival);
    EXPECT_EQ(g_results[2].unitMask, 0x10u);
}

TEST_F(MainWindowTest, RegistrationIsOwnedAndReleased) {
    unique_hdevnotify registration = RegisterUsbDeviceNotifications(window_);
    ASSERT_TRUE(registration) << ::GetLastError();
    unique_hdevnotify moved = std::move(registration);
    EXPECT_FALSE(registration);
    EXPECT_TRUE(moved);
    // Handing it back by hand shows the owner would have had a live registration to close.
    EXPECT_TRUE(::UnregisterDeviceNotification(moved.release()));
}

}  // namespace
