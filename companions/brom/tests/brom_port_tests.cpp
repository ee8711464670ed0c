// brom.dll stand-in, port enumeration: fake devices in the test prefix against both exports.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "brom/brom_api.h"
#include "testing/wine/port_registration.h"

namespace {

constexpr unsigned short kSentinel = 0xBEEF;
constexpr wchar_t kOtherHardwareId[] = L"USB\\VID_1234&PID_5678";

// The devices this program registers. Their COM numbers must be free in the prefix.
struct FakeDevice {
    const wchar_t* serial;
    int com;  // 0: no PortName
    const wchar_t* hardwareId;
};
constexpr FakeDevice kDevices[] = {
    {L"TVSPBROMTEST-W1", 201, L"USB\\VID_0E8D&PID_0003"},
    {L"TVSPBROMTEST-W2", 198, L"usb\\vid_0e8d&pid_0003"},  // lower case: the filter must not care
    {L"TVSPBROMTEST-OT", 199, kOtherHardwareId},
    {L"TVSPBROMTEST-NP", 0, L"USB\\VID_0E8D&PID_0003"},
};
constexpr wchar_t kRemovalSerial[] = L"TVSPBROMTEST-RM";
constexpr unsigned short kRemovalPort = 200;

// Filter rows: texts, and which of our ports pass.
struct FilterRow {
    const char* name;
    std::vector<const char*> texts;
    std::vector<unsigned short> ours;
};
const std::vector<FilterRow>& FilterRows() {
    static const std::vector<FilterRow> rows = {
        {"watch", {"VID_0E8D&PID_0003"}, {198, 201}},
        {"watch lower case", {"vid_0e8d&pid_0003"}, {198, 201}},
        {"revision id", {"VID_0E8D&PID_0003&REV_0100"}, {198, 201}},
        {"other vendor", {"VID_1234"}, {199}},
        {"either", {"VID_1234", "PID_0003"}, {198, 199, 201}},
        {"nothing matches", {"VID_FFFF&PID_FFFF"}, {}},
        {"empty text matches nothing", {""}, {}},
        {"null text skipped", {nullptr, "VID_1234"}, {199}},
        {"no texts", {}, {}},
    };
    return rows;
}

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// Through void*: FARPROC and the export's real type are unrelated function types.
template <typename Fn>
Fn Export(HMODULE module, const char* nameOrOrdinal) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, nameOrOrdinal)));
}

struct Outcome {
    int result = -1;
    std::vector<unsigned short> ports;
    bool sentinelsIntact = true;
};

class BromPorts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library_ = ::LoadLibraryW((ModuleFolder() + L"brom.dll").c_str());
        ASSERT_NE(library_, nullptr) << "brom.dll beside the test program, error " << ::GetLastError();
        enumerate_ = Export<brom::ComPortEnumerateFn>(library_, MAKEINTRESOURCEA(brom::kOrdinalComPortEnumerate));
        filtered_ = Export<brom::ComPortEnumerateWithFilterHardwareIDFn>(
            library_, MAKEINTRESOURCEA(brom::kOrdinalComPortEnumerateWithFilterHardwareID));
        ASSERT_NE(enumerate_, nullptr);
        ASSERT_NE(filtered_, nullptr);

        // Leftovers of an interrupted run would be counted twice.
        for (const auto& d : kDevices) tvsp::rig::RemovePortDevice(d.serial, nullptr);
        tvsp::rig::RemovePortDevice(kRemovalSerial, nullptr);

        // What the prefix holds without us (other fixtures may have ports of their own).
        baseline_ = Enumerate(255).ports;
        baselineFiltered_.clear();
        for (const auto& row : FilterRows()) baselineFiltered_.push_back(EnumerateFiltered(row.texts, 255).ports);
        for (unsigned short ours : {198, 199, 200, 201})
            ASSERT_EQ(std::count(baseline_.begin(), baseline_.end(), ours), 0)
                << "COM" << ours << " is already taken in the prefix";

        for (const auto& d : kDevices) {
            std::wstring error;
            ASSERT_TRUE(tvsp::rig::AddPortDevice(d.com, d.serial, d.hardwareId, &error)) << ToUtf8(error);
        }
        registered_ = true;
    }

    static void TearDownTestSuite() {
        if (registered_)
            for (const auto& d : kDevices) tvsp::rig::RemovePortDevice(d.serial, nullptr);
        registered_ = false;
        if (library_) ::FreeLibrary(library_);
        library_ = nullptr;
    }

    void SetUp() override {
        if (!registered_) GTEST_SKIP() << "set-up failed";
    }

    static std::string ToUtf8(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    // Calls with room for `capacity` entries inside a larger array of sentinels, so a write
    // past the capacity shows.
    static Outcome Enumerate(unsigned short capacity) {
        std::vector<unsigned short> buffer(capacity + 8u, kSentinel);
        unsigned short count = capacity;
        Outcome out;
        out.result = enumerate_(buffer.data(), &count);
        return Collect(buffer, capacity, count, out);
    }

    static Outcome EnumerateFiltered(const std::vector<const char*>& texts, unsigned short capacity) {
        std::vector<unsigned short> buffer(capacity + 8u, kSentinel);
        unsigned short count = capacity;
        const COM_PORT_FILTER filter{static_cast<unsigned int>(texts.size()), texts.empty() ? nullptr : texts.data()};
        Outcome out;
        out.result = filtered_(buffer.data(), &count, &filter);
        return Collect(buffer, capacity, count, out);
    }

    static Outcome Collect(const std::vector<unsigned short>& buffer, unsigned short capacity, unsigned short count,
                           Outcome out) {
        if (count > capacity) {
            ADD_FAILURE() << "count " << count << " above capacity " << capacity;
            count = capacity;
        }
        out.ports.assign(buffer.begin(), buffer.begin() + count);
        for (size_t i = count; i < buffer.size(); ++i) out.sentinelsIntact &= buffer[i] == kSentinel;
        return out;
    }

    static std::vector<unsigned short> Merged(std::vector<unsigned short> base, const std::vector<unsigned short>& ours) {
        base.insert(base.end(), ours.begin(), ours.end());
        std::sort(base.begin(), base.end());
        return base;
    }

    static inline HMODULE library_ = nullptr;
    static inline brom::ComPortEnumerateFn enumerate_ = nullptr;
    static inline brom::ComPortEnumerateWithFilterHardwareIDFn filtered_ = nullptr;
    static inline std::vector<unsigned short> baseline_;
    static inline std::vector<std::vector<unsigned short>> baselineFiltered_;
    static inline bool registered_ = false;
};

TEST_F(BromPorts, OrdinalsAndNamesGiveTheSameFunctions) {
    EXPECT_EQ(enumerate_, Export<brom::ComPortEnumerateFn>(library_, "ComPortEnumerate"));
    EXPECT_EQ(filtered_,
              Export<brom::ComPortEnumerateWithFilterHardwareIDFn>(library_, "ComPortEnumerateWithFilterHardwareID"));
}

TEST_F(BromPorts, AllPortsAscendingWithoutPortlessDevice) {
    const Outcome out = Enumerate(255);
    EXPECT_EQ(out.result, BROM_PORT_OK);
    EXPECT_EQ(out.ports, Merged(baseline_, {198, 199, 201}));
    EXPECT_TRUE(out.sentinelsIntact);
}

TEST_F(BromPorts, FilterRows) {
    for (size_t i = 0; i < FilterRows().size(); ++i) {
        const FilterRow& row = FilterRows()[i];
        SCOPED_TRACE(row.name);
        const auto expected = Merged(baselineFiltered_[i], row.ours);
        const Outcome out = EnumerateFiltered(row.texts, 255);
        EXPECT_EQ(out.result, expected.empty() ? BROM_PORT_NONE : BROM_PORT_OK);
        EXPECT_EQ(out.ports, expected);
        EXPECT_TRUE(out.sentinelsIntact);
    }
}

// Room for fewer ports than exist: the lowest ones fill the room, nothing past it is written,
// and the result says the list is cut.
TEST_F(BromPorts, CapacityBoundaries) {
    const auto all = Merged(baseline_, {198, 199, 201});
    const auto watches = Merged(baselineFiltered_[0], {198, 201});
    struct Case {
        const char* name;
        const std::vector<unsigned short>* expected;
        bool filtered;
    };
    for (const Case& c : {Case{"all", &all, false}, Case{"filtered", &watches, true}}) {
        const int n = static_cast<int>(c.expected->size());  // at least our own two ports
        for (const int room : {0, 1, n - 1, n, n + 1}) {
            const auto capacity = static_cast<unsigned short>(room);
            SCOPED_TRACE(std::string(c.name) + " capacity " + std::to_string(capacity));
            const Outcome out =
                c.filtered ? EnumerateFiltered({"VID_0E8D&PID_0003"}, capacity) : Enumerate(capacity);
            const size_t kept = static_cast<size_t>(std::min(room, n));
            EXPECT_EQ(out.result, room < n ? BROM_PORT_TRUNCATED : BROM_PORT_OK);
            EXPECT_EQ(out.ports, std::vector<unsigned short>(c.expected->begin(), c.expected->begin() + kept));
            EXPECT_TRUE(out.sentinelsIntact);
        }
    }
}

TEST_F(BromPorts, NullArgumentsAreRefused) {
    unsigned short ports[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
    const char* text = "VID_0E8D&PID_0003";
    const COM_PORT_FILTER good{1, &text};
    const COM_PORT_FILTER noTexts{1, nullptr};

    unsigned short count = 4;
    EXPECT_EQ(enumerate_(nullptr, &count), BROM_PORT_INVALID_ARGUMENT);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(enumerate_(ports, nullptr), BROM_PORT_INVALID_ARGUMENT);

    count = 4;
    EXPECT_EQ(filtered_(nullptr, &count, &good), BROM_PORT_INVALID_ARGUMENT);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(filtered_(ports, nullptr, &good), BROM_PORT_INVALID_ARGUMENT);
    count = 4;
    EXPECT_EQ(filtered_(ports, &count, nullptr), BROM_PORT_INVALID_ARGUMENT);
    EXPECT_EQ(count, 0);
    count = 4;
    EXPECT_EQ(filtered_(ports, &count, &noTexts), BROM_PORT_INVALID_ARGUMENT);
    EXPECT_EQ(count, 0);
    for (unsigned short p : ports) EXPECT_EQ(p, kSentinel);
}

TEST_F(BromPorts, RemovedDeviceDisappears) {
    std::wstring error;
    ASSERT_TRUE(tvsp::rig::AddPortDevice(kRemovalPort, kRemovalSerial, tvsp::rig::kWatchHardwareId, &error))
        << ToUtf8(error);
    // Registering the same serial again replaces the device instead of adding a second one.
    ASSERT_TRUE(tvsp::rig::AddPortDevice(kRemovalPort, kRemovalSerial, tvsp::rig::kWatchHardwareId, &error))
        << ToUtf8(error);
    std::vector<tvsp::rig::PortDevice> devices;
    ASSERT_TRUE(tvsp::rig::ListPortDevices(&devices, &error)) << ToUtf8(error);
    const std::wstring id = tvsp::rig::WatchInstanceId(kRemovalSerial);
    EXPECT_EQ(std::count_if(devices.begin(), devices.end(),
                            [&](const tvsp::rig::PortDevice& d) {
                                return ::lstrcmpiW(d.instanceId.c_str(), id.c_str()) == 0;
                            }),
              1);
    EXPECT_EQ(EnumerateFiltered({"VID_0E8D&PID_0003"}, 255).ports, Merged(baselineFiltered_[0], {198, 200, 201}));

    ASSERT_TRUE(tvsp::rig::RemovePortDevice(kRemovalSerial, &error)) << ToUtf8(error);
    EXPECT_EQ(EnumerateFiltered({"VID_0E8D&PID_0003"}, 255).ports, Merged(baselineFiltered_[0], {198, 201}));
    EXPECT_EQ(Enumerate(255).ports, Merged(baseline_, {198, 199, 201}));
    EXPECT_FALSE(tvsp::rig::RemovePortDevice(kRemovalSerial, &error)) << "second removal";
}

}  // namespace
