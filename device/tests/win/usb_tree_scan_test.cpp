// USB tree scan on scripted controllers, hubs, ports and device trees, with the guide messages a real window receives.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/usb_tree_scan.h"

namespace {

using namespace TVSP;

// What the guide window and the driver-package removal saw, in order.
std::vector<std::string> g_events;

LRESULT CALLBACK GuideProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GUIDE_DEVICE_FOUND || message == WM_GUIDE_REPAIR_DRIVER) {
        std::string text = message == WM_GUIDE_DEVICE_FOUND ? "found " : "repair ";
        text += std::to_string(wParam);
        if (lParam != 0) text += " lParam!=0";
        g_events.push_back(text);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class GuideWindow {
public:
    GuideWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = GuideProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TvspUsbScanTestGuide";
        ::RegisterClassW(&wc);
        window_ = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }
    ~GuideWindow() { ::DestroyWindow(window_); }
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

constexpr ULONG kConnected = DeviceConnected;

struct Port {
    USHORT vid = 0, pid = 0;
    UCHAR configuration = 1;
    std::wstring driverKey;  // empty: the port reports no driver key
    bool isHub = false;
    std::wstring hubName;
    ULONG status = kConnected;
    bool extendedFails = false, legacyFails = false;
    bool lowSpeed = false;
};

Port Device(USHORT vid, USHORT pid, const wchar_t* key, UCHAR configuration = 1) {
    Port port;
    port.vid = vid;
    port.pid = pid;
    port.driverKey = key;
    port.configuration = configuration;
    return port;
}
Port Watch(const wchar_t* key, UCHAR configuration = 1) { return Device(0x0E8D, 0x0003, key, configuration); }
Port HubPort(const wchar_t* name) {
    Port port;
    port.isHub = true;
    port.hubName = name;
    return port;
}
Port Empty() {
    Port port;
    port.status = NoDeviceConnected;
    return port;
}

struct HubScript {
    bool opens = true;
    bool answers = true;
    std::vector<Port> ports;
};

struct Controller {
    bool driverKeyAnswers = true;
    std::wstring rootHub;
};

struct Node {
    int parent;  // index into the node list; -1 for the root
    std::wstring driverKey;
    std::optional<std::wstring> description;
};

// Answers a name query the way the USB stack does: the header alone gets the full length.
bool AnswerName(const std::wstring& name, std::size_t nameOffset, void* out, DWORD outSize, DWORD* returned) {
    const ULONG needed = static_cast<ULONG>(nameOffset + (name.size() + 1) * sizeof(wchar_t));
    if (outSize < nameOffset + sizeof(wchar_t)) return false;
    auto* bytes = static_cast<unsigned char*>(out);
    std::memcpy(bytes + nameOffset - sizeof(ULONG), &needed, sizeof needed);
    if (outSize >= needed) std::memcpy(bytes + nameOffset, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    *returned = outSize >= needed ? needed : static_cast<DWORD>(nameOffset + sizeof(wchar_t));
    return true;
}

class ScriptedHost;

class ScriptedHandle final : public IUsbDeviceHandle {
public:
    ScriptedHandle(ScriptedHost& host, const Controller* controller, const HubScript* hub)
        : host_(host), controller_(controller), hub_(hub) {}
    bool Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override;

private:
    ScriptedHost& host_;
    const Controller* controller_;
    const HubScript* hub_;
};

class ScriptedHost final : public IUsbHostAccess {
public:
    std::map<int, Controller> controllers;
    std::map<std::wstring, HubScript> hubs;
    std::vector<Node> nodes = {{-1, L"", L"Root"}};
    std::vector<std::wstring> opened;
    int controlCalls = 0;

    std::unique_ptr<IUsbDeviceHandle> Open(const std::wstring& path) override {
        opened.push_back(path);
        const std::wstring hcd = L"\\\\.\\HCD";
        if (path.compare(0, hcd.size(), hcd) == 0) {
            const auto it = controllers.find(std::stoi(path.substr(hcd.size())));
            if (it == controllers.end()) return nullptr;
            return std::make_unique<ScriptedHandle>(*this, &it->second, nullptr);
        }
        if (path.compare(0, 4, L"\\\\.\\") != 0) return nullptr;
        const auto it = hubs.find(path.substr(4));
        if (it == hubs.end() || !it->second.opens) return nullptr;
        return std::make_unique<ScriptedHandle>(*this, nullptr, &it->second);
    }
    // DEVINST is the node's index + 1.
    CONFIGRET LocateRootNode(DEVINST* node) override {
        *node = 1;
        return CR_SUCCESS;
    }
    CONFIGRET GetChild(DEVINST* child, DEVINST node) override {
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            if (nodes[i].parent == static_cast<int>(node) - 1) {
                *child = static_cast<DEVINST>(i + 1);
                return CR_SUCCESS;
            }
        }
        return CR_NO_SUCH_DEVNODE;
    }
    CONFIGRET GetSibling(DEVINST* sibling, DEVINST node) override {
        const int parent = nodes[node - 1].parent;
        for (std::size_t i = node; i < nodes.size(); ++i) {
            if (nodes[i].parent == parent && parent >= 0) {
                *sibling = static_cast<DEVINST>(i + 1);
                return CR_SUCCESS;
            }
        }
        return CR_NO_SUCH_DEVNODE;
    }
    CONFIGRET GetParent(DEVINST* parent, DEVINST node) override {
        if (nodes[node - 1].parent < 0) return CR_NO_SUCH_DEVNODE;
        *parent = static_cast<DEVINST>(nodes[node - 1].parent + 1);
        return CR_SUCCESS;
    }
    CONFIGRET GetRegistryProperty(DEVINST node, ULONG property, void* buffer, ULONG* length) override {
        EXPECT_EQ(*length, 200u);
        const Node& n = nodes[node - 1];
        std::wstring value;
        if (property == CM_DRP_DRIVER && !n.driverKey.empty()) {
            value = n.driverKey;
        } else if (property == CM_DRP_DEVICEDESC && n.description) {
            value = *n.description;
        } else {
            return CR_NO_SUCH_VALUE;
        }
        const ULONG needed = static_cast<ULONG>((value.size() + 1) * sizeof(wchar_t));
        if (needed > *length) {
            *length = needed;
            return CR_BUFFER_SMALL;
        }
        std::memcpy(buffer, value.c_str(), needed);
        *length = needed;
        return CR_SUCCESS;
    }
    void RemoveWrongDriverPackage() override { g_events.push_back("remove package"); }

    // Adds a device node below parent with a driver key and description; returns its index.
    int AddNode(int parent, const wchar_t* key, std::optional<std::wstring> description) {
        nodes.push_back({parent, key, std::move(description)});
        return static_cast<int>(nodes.size() - 1);
    }
};

bool ScriptedHandle::Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
    ++host_.controlCalls;
    EXPECT_EQ(in, out) << "queries use one buffer for input and output";
    EXPECT_EQ(inSize, outSize);
    if (controller_) {
        if (code == kIoctlGetHcdDriverKeyName) {
            if (!controller_->driverKeyAnswers) return false;
            return AnswerName(L"{36fc9e60-c465-11cf-8056-444553540000}\\0000", 4, out, outSize, returned);
        }
        if (code == kIoctlGetRootHubName) return AnswerName(controller_->rootHub, 4, out, outSize, returned);
        ADD_FAILURE() << "controller asked for 0x" << std::hex << code;
        return false;
    }
    if (code == kIoctlGetNodeInformation) {
        EXPECT_EQ(outSize, 76u);
        if (!hub_->answers || outSize < sizeof(USB_NODE_INFORMATION)) return false;
        auto* node = static_cast<USB_NODE_INFORMATION*>(out);
        node->NodeType = UsbHub;
        node->u.HubInformation.HubDescriptor.bNumberOfPorts = static_cast<UCHAR>(hub_->ports.size());
        return true;
    }
    ULONG index = 0;
    std::memcpy(&index, in, sizeof index);
    if (index < 1 || index > hub_->ports.size()) {
        ADD_FAILURE() << "port " << index << " of a hub with " << hub_->ports.size();
        return false;
    }
    const Port& port = hub_->ports[index - 1];
    switch (code) {
    case kIoctlGetNodeConnectionInformationEx: {
        EXPECT_EQ(outSize, 365u);
        if (port.extendedFails) return false;
        auto* info = static_cast<USB_NODE_CONNECTION_INFORMATION_EX*>(out);
        info->DeviceDescriptor.idVendor = port.vid;
        info->DeviceDescriptor.idProduct = port.pid;
        info->CurrentConfigurationValue = port.configuration;
        info->Speed = 2;
        info->DeviceIsHub = port.isHub;
        info->ConnectionStatus = static_cast<USB_CONNECTION_STATUS>(port.status);
        return true;
    }
    case kIoctlGetNodeConnectionInformation: {
        EXPECT_EQ(outSize, 365u);
        if (port.legacyFails) return false;
        auto* info = static_cast<USB_NODE_CONNECTION_INFORMATION*>(out);
        info->DeviceDescriptor.idVendor = port.vid;
        info->DeviceDescriptor.idProduct = port.pid;
        info->CurrentConfigurationValue = port.configuration;
        info->LowSpeed = port.lowSpeed;
        info->DeviceIsHub = port.isHub;
        info->DeviceAddress = 0x1234;
        info->NumberOfOpenPipes = 3;
        info->ConnectionStatus = static_cast<USB_CONNECTION_STATUS>(port.status);
        static_cast<UsbLegacyConnectionInfoBuffer*>(out)->pipes[29].ScheduleOffset = 0xA5A5A5A5;
        return true;
    }
    case kIoctlGetNodeConnectionName:
        if (!port.isHub) return false;
        return AnswerName(port.hubName, 8, out, outSize, returned);
    case kIoctlGetNodeConnectionDriverKeyName:
        if (port.driverKey.empty()) return false;
        return AnswerName(port.driverKey, 8, out, outSize, returned);
    default:
        ADD_FAILURE() << "hub asked for 0x" << std::hex << code;
        return false;
    }
}

// Driver keys of the scripted device tree (ScanTest::SetUp).
constexpr const wchar_t* kMtk = L"{4d36e978-e325-11ce-bfc1-08002be10318}\\0001";
constexpr const wchar_t* kRndis = L"{4D36E972-E325-11CE-BFC1-08002BE10318}\\0012";  // case differs from the tree
constexpr const wchar_t* kOtherSerial = L"{4d36e978-e325-11ce-bfc1-08002be10318}\\0002";
constexpr const wchar_t* kNoDescription = L"{4d36e978-e325-11ce-bfc1-08002be10318}\\0003";
constexpr const wchar_t* kMouse = L"{4d36e96f-e325-11ce-bfc1-08002be10318}\\0000";
constexpr const wchar_t* kNotInTree = L"{4d36e978-e325-11ce-bfc1-08002be10318}\\0099";
constexpr const wchar_t* kLastNode = L"{4d36e978-e325-11ce-bfc1-08002be10318}\\0009";

class ScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_events.clear();
        ASSERT_NE(guide_.get(), nullptr);
        // Drivers as the device tree has them: the serial driver one level down, the wrong driver
        // and a plain serial adapter under a deeper parent, so lookups climb back up.
        const int usbBus = host_.AddNode(0, L"{36fc9e60-c465-11cf-8056-444553540000}\\0000", L"USB Root Hub");
        host_.AddNode(usbBus, L"{4d36e978-e325-11ce-bfc1-08002be10318}\\0001", L"MTK USB Port");
        const int composite = host_.AddNode(usbBus, L"{36fc9e60-c465-11cf-8056-444553540000}\\0007", L"Composite");
        host_.AddNode(composite, L"{4d36e972-e325-11ce-bfc1-08002be10318}\\0012", L"Alcatel Single RNDIS Interface");
        host_.AddNode(composite, L"{4d36e978-e325-11ce-bfc1-08002be10318}\\0002", L"USB Serial Device");
        host_.AddNode(composite, L"{4d36e978-e325-11ce-bfc1-08002be10318}\\0003", std::nullopt);
        host_.AddNode(0, L"{4d36e96f-e325-11ce-bfc1-08002be10318}\\0000", L"HID-compliant mouse");
        host_.AddNode(0, kLastNode, L"MTK USB Port");
    }
    std::vector<std::string> Scan() {
        ScanUsbHubs(guide_.get(), host_);
        return g_events;
    }

    GuideWindow guide_;
    ScriptedHost host_;
};

using Events = std::vector<std::string>;

TEST_F(ScanTest, WatchBehindNestedHubsIsFoundOnce) {
    host_.controllers[0] = {true, L"USB#ROOT_HUB20#4&1"};
    host_.hubs[L"USB#ROOT_HUB20#4&1"] = {true, true, {Empty(), HubPort(L"USB#VID_05E3&PID_0608#5&2"), Device(0x046D, 0xC077, kMouse)}};
    host_.hubs[L"USB#VID_05E3&PID_0608#5&2"] = {true, true, {Empty(), HubPort(L"USB#VID_05E3&PID_0608#6&3")}};
    host_.hubs[L"USB#VID_05E3&PID_0608#6&3"] = {true, true, {Device(0x0E8D, 0x0002, kMtk), Watch(kMtk)}};
    EXPECT_EQ(Scan(), (Events{"found 1"}));
    EXPECT_EQ(host_.opened, (std::vector<std::wstring>{
                                L"\\\\.\\HCD0", L"\\\\.\\USB#ROOT_HUB20#4&1", L"\\\\.\\USB#VID_05E3&PID_0608#5&2",
                                L"\\\\.\\USB#VID_05E3&PID_0608#6&3", L"\\\\.\\HCD1", L"\\\\.\\HCD2", L"\\\\.\\HCD3",
                                L"\\\\.\\HCD4", L"\\\\.\\HCD5", L"\\\\.\\HCD6", L"\\\\.\\HCD7", L"\\\\.\\HCD8",
                                L"\\\\.\\HCD9"}));
}

// Every watch gets its own messages; the wrong network driver is removed before the repair.
TEST_F(ScanTest, TwoWatchesTwoSetsOfMessages) {
    host_.controllers[0] = {true, L"ROOT0"};
    host_.hubs[L"ROOT0"] = {true, true, {Watch(kMtk), Device(0x0E8D, 0x0003, kRndis)}};
    EXPECT_EQ(Scan(), (Events{"found 1", "found 0", "remove package", "repair 0"}));
}

struct DriverRow {
    const char* name;
    Port port;
    Events expected;
};

void PrintTo(const DriverRow& row, std::ostream* os) { *os << row.name; }

class DriverTable : public ScanTest, public ::testing::WithParamInterface<DriverRow> {};

TEST_P(DriverTable, Messages) {
    host_.controllers[2] = {true, L"ROOT2"};
    host_.hubs[L"ROOT2"] = {true, true, {GetParam().port}};
    EXPECT_EQ(Scan(), GetParam().expected);
}

Port Unconnected(Port port) {
    port.status = NoDeviceConnected;
    return port;
}

INSTANTIATE_TEST_SUITE_P(Rows, DriverTable, ::testing::Values(
    DriverRow{"serial driver configured", Watch(kMtk), {"found 1"}},
    DriverRow{"serial driver unconfigured", Watch(kMtk, 0), {"found 0"}},
    DriverRow{"configuration 255", Watch(kMtk, 255), {"found 1"}},
    DriverRow{"wrong network driver", Watch(kRndis), {"found 0", "remove package", "repair 0"}},
    DriverRow{"wrong driver unconfigured", Watch(kRndis, 0), {"found 0", "remove package", "repair 0"}},
    DriverRow{"another description", Watch(kOtherSerial), {"found 0", "repair 0"}},
    DriverRow{"description unreadable", Watch(kNoDescription), {"found 0", "repair 0"}},
    DriverRow{"driver key not in tree", Watch(kNotInTree), {"found 0", "repair 0"}},
    DriverRow{"no driver key", Watch(L""), {"found 0", "repair 0"}},
    DriverRow{"no device connected", Unconnected(Watch(kMtk)), {"found 0", "repair 0"}},
    DriverRow{"driver of the last node", Watch(kLastNode), {"found 1"}},
    DriverRow{"disk function", Device(0x0E8D, 0x0002, kMtk), {}},
    DriverRow{"other vendor", Device(0x0E8E, 0x0003, kMtk), {}},
    DriverRow{"vendor and product swapped", Device(0x0003, 0x0E8D, kMtk), {}}),
    [](const auto& row) {
        std::string name = row.param.name;
        for (char& c : name) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST_F(ScanTest, FailingPortQueriesSkipOnlyThatPort) {
    Port both = Watch(kMtk);
    both.extendedFails = both.legacyFails = true;
    Port legacyOnly = Watch(kRndis);
    legacyOnly.extendedFails = true;
    host_.controllers[0] = {true, L"ROOT0"};
    host_.hubs[L"ROOT0"] = {true, true, {both, legacyOnly, Watch(kMtk)}};
    EXPECT_EQ(Scan(), (Events{"found 0", "remove package", "repair 0", "found 1"}));
}

TEST_F(ScanTest, ControllersHubsThatFailAreSkipped) {
    host_.controllers[1] = {false, L"ROOT1"};  // driver key unreadable: its root hub is never walked
    host_.controllers[3] = {true, L"ROOT3"};
    host_.controllers[4] = {true, L"ROOT4"};
    host_.controllers[9] = {true, L"ROOT9"};   // the last one looked at
    host_.controllers[10] = {true, L"ROOT10"};  // beyond the range
    host_.hubs[L"ROOT1"] = {true, true, {Watch(kMtk)}};
    host_.hubs[L"ROOT3"] = {false, true, {Watch(kMtk)}};  // cannot be opened
    host_.hubs[L"ROOT4"] = {true, false, {Watch(kMtk)}};  // node information fails
    host_.hubs[L"ROOT9"] = {true, true, {Watch(kOtherSerial)}};
    host_.hubs[L"ROOT10"] = {true, true, {Watch(kMtk)}};
    EXPECT_EQ(Scan(), (Events{"found 0", "repair 0"}));
    EXPECT_EQ(std::count(host_.opened.begin(), host_.opened.end(), L"\\\\.\\ROOT1"), 0);
    EXPECT_EQ(std::count(host_.opened.begin(), host_.opened.end(), L"\\\\.\\HCD10"), 0);
}

// A hub that reports itself on one of its ports must not recurse for ever.
TEST_F(ScanTest, HubLoopEndsAtTheDepthLimit) {
    host_.controllers[0] = {true, L"LOOP"};
    host_.hubs[L"LOOP"] = {true, true, {HubPort(L"LOOP"), Watch(kMtk)}};
    const Events events = Scan();
    EXPECT_EQ(events.size(), 7u);  // root hub plus six levels, one message each
    EXPECT_EQ(events.front(), "found 1");
}

TEST_F(ScanTest, NoControllerNoMessages) {
    EXPECT_EQ(Scan(), Events{});
    EXPECT_EQ(host_.opened.size(), 10u);
    EXPECT_EQ(host_.controlCalls, 0);
}

// The real system under Wine has no USB host controller: the scan ends quietly.
TEST_F(ScanTest, SystemAccessUnderWineSendsNothing) {
    ScanUsbHubs(guide_.get());
    EXPECT_EQ(g_events, Events{});
}

TEST(ReadConnectionInformation, LegacyAnswerIsConvertedFieldByField) {
    ScriptedHost host;
    Port low = Watch(L"k");
    low.extendedFails = true;
    low.lowSpeed = true;
    low.configuration = 7;
    Port full = low;
    full.lowSpeed = false;
    full.isHub = true;
    host.controllers[0] = {};
    host.hubs[L"H"] = {true, true, {low, full}};
    auto hub = host.Open(L"\\\\.\\H");
    ASSERT_TRUE(hub);
    UsbConnectionInfoBuffer info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_TRUE(ReadConnectionInformation(*hub, 1, info));
    EXPECT_EQ(info.info.ConnectionIndex, 1u);
    EXPECT_EQ(info.info.Speed, 0);  // low speed
    EXPECT_EQ(info.info.CurrentConfigurationValue, 7);
    EXPECT_EQ(info.info.DeviceDescriptor.idVendor, 0x0E8D);
    EXPECT_EQ(info.info.DeviceDescriptor.idProduct, 0x0003);
    EXPECT_EQ(info.info.DeviceAddress, 0x1234);
    EXPECT_EQ(info.info.NumberOfOpenPipes, 3u);
    EXPECT_EQ(info.info.ConnectionStatus, DeviceConnected);
    EXPECT_FALSE(info.info.DeviceIsHub);
    EXPECT_EQ(info.pipes[29].ScheduleOffset, 0xA5A5A5A5u);
    ASSERT_TRUE(ReadConnectionInformation(*hub, 2, info));
    EXPECT_EQ(info.info.ConnectionIndex, 2u);
    EXPECT_EQ(info.info.Speed, 1);  // full speed
    EXPECT_TRUE(info.info.DeviceIsHub);
}

// Name queries against a device that reports a chosen length and fills what fits.
class LengthHandle final : public IUsbDeviceHandle {
public:
    LengthHandle(ULONG reported, std::wstring name) : reported_(reported), name_(std::move(name)) {}
    bool Control(DWORD, void* in, DWORD inSize, void*, DWORD, DWORD* returned) override {
        ++calls;
        auto* bytes = static_cast<unsigned char*>(in);
        const std::size_t offset = headerSize == 10 ? 8 : 4;
        if (calls == 1) {
            EXPECT_EQ(inSize, headerSize);
            std::memcpy(&firstPort, bytes, sizeof firstPort);
            std::memcpy(bytes + offset - 4, &reported_, sizeof reported_);
        } else {
            EXPECT_EQ(inSize, reported_);
            std::memcpy(&secondPort, bytes, sizeof secondPort);
            // Fill the whole buffer after the header: no terminator unless the name is shorter.
            for (std::size_t at = offset, i = 0; at + 1 < inSize; at += 2, ++i) {
                const wchar_t c = i < name_.size() ? name_[i] : L'\0';
                std::memcpy(bytes + at, &c, sizeof c);
            }
        }
        *returned = inSize;
        return true;
    }
    int calls = 0;
    DWORD headerSize = 6;
    ULONG firstPort = 0, secondPort = 0;

private:
    ULONG reported_;
    std::wstring name_;
};

TEST(NameQueries, ReportedLengthAgainstTheHeader) {
    struct Row {
        DWORD code;
        bool port;
        ULONG reported;
        int characters;  // -1: no name
        int calls;
    };
    // The name is bounded by the reported length, terminator or not.
    const Row rows[] = {
        {kIoctlGetHcdDriverKeyName, false, 6, -1, 1},  // header only: no name
        {kIoctlGetHcdDriverKeyName, false, 8, 2, 2},
        {kIoctlGetHcdDriverKeyName, false, 7, 1, 2},   // half a character is dropped
        {kIoctlGetRootHubName, false, 5, -1, 1},       // shorter than its own header
        {kIoctlGetRootHubName, false, 6, 1, 2},        // the root hub's name is read even then
        {kIoctlGetRootHubName, false, 14, 5, 2},
        {kIoctlGetNodeConnectionDriverKeyName, true, 10, -1, 1},
        {kIoctlGetNodeConnectionDriverKeyName, true, 12, 2, 2},
        {kIoctlGetNodeConnectionName, true, 9, -1, 1},
        {kIoctlGetNodeConnectionName, true, 0x7FFFFFFF, -1, 1},  // not allocated
    };
    for (const Row& row : rows) {
        LengthHandle handle(row.reported, L"ABCDEFGHIJ");
        handle.headerSize = row.port ? 10 : 6;
        const std::optional<std::wstring> name =
            row.port ? ReadPortName(handle, row.code, 5) : ReadControllerName(handle, row.code);
        const std::optional<std::wstring> expected =
            row.characters < 0 ? std::nullopt : std::optional<std::wstring>(std::wstring(L"ABCDEFGHIJ", row.characters));
        EXPECT_EQ(name, expected) << std::hex << row.code << " reported " << std::dec << row.reported;
        EXPECT_EQ(handle.calls, row.calls) << std::hex << row.code << " reported " << std::dec << row.reported;
        if (row.port) {
            EXPECT_EQ(handle.firstPort, 5u);
            if (row.calls == 2) {
                EXPECT_EQ(handle.secondPort, 5u);
            }
        }
    }
}

TEST(LookupDeviceDescription, WalksTheWholeTreeDepthFirst) {
    ScriptedHost host;
    const int a = host.AddNode(0, L"A", L"desc A");
    const int a1 = host.AddNode(a, L"A1", L"desc A1");
    host.AddNode(a1, L"A1x", L"desc A1x");
    host.AddNode(a, L"A2", std::nullopt);
    const int b = host.AddNode(0, L"B", L"desc B");
    host.AddNode(b, L"B1", std::wstring(99, L'd'));  // fills the 200-byte buffer with its terminator
    EXPECT_EQ(LookupDeviceDescription(host, L"a1X"), L"desc A1x");
    EXPECT_EQ(LookupDeviceDescription(host, L"B"), L"desc B");
    EXPECT_EQ(LookupDeviceDescription(host, L"B1"), std::wstring(99, L'd'));
    EXPECT_EQ(LookupDeviceDescription(host, L"A2"), std::nullopt);  // matched, description unreadable
    EXPECT_EQ(LookupDeviceDescription(host, L"C"), std::nullopt);
    EXPECT_EQ(LookupDeviceDescription(host, L""), std::nullopt);  // nodes without a driver never match
}

}  // namespace
