// TVSP_MTKDownloader against a scripted download library: preparation and its failures, region
// selection, the port wait, the records handed to the library, and the events of each outcome.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "device/system_utils.h"
#include "base/win/strings.h"
#include "engine/mtk_downloader.h"
#include "engine/observer_manager.h"
#include "engine/tests/recording_observer.h"
#include "engine/tests/win/watch_test_support.h"
#include "engine/watch_detection.h"
#include "engine/watch_ports.h"
#include "testing/wine/test_files.h"

using namespace TVSP;

namespace {

// Stands in for brom.dll: every call is logged by name, results are scripted per operation.
class ScriptedLibrary final : public IDownloadLibrary {
public:
    struct Enumeration {
        int result;
        std::vector<unsigned short> ports;
    };

    std::vector<std::string> log;
    std::vector<std::string> regions = {"ARM_BL", "ROM", "OTA"};
    int countOverride = -1;  // DL_GetCount_Ex's count when 0 or above
    bool intact = true;
    bool extendedFound = true;
    // Results by operation name; absent means 0.
    std::vector<std::pair<std::string, int>> results;
    int failDisableAt = -1;  // this index's disable fails
    std::vector<unsigned short> disabled;
    std::deque<Enumeration> enumerations;  // ComPortEnumerate; the last one repeats
    Enumeration filtered{0, {}};          // ComPortEnumerateWithFilterHardwareID
    std::string filterSeen;
    unsigned connectedPort = 0;
    std::unique_ptr<BROM_CONNECT_ARGS> connectArgs;
    BROM_DOWNLOAD_ARGS downloadArgs{};
    BROM_CONNECT_RESULT* connectResultSeen = nullptr;
    int* stopFlagSeen = nullptr;
    unsigned watchdogMs = 0;
    std::vector<FLASHTOOL_HANDLE_T> disconnected;
    std::string daPathSeen, cfgPathSeen;
    // Runs inside FlashTool_Connect / FlashTool_Download, with the records the engine built.
    std::function<void(BROM_CONNECT_ARGS&)> duringConnect;
    std::function<void(BROM_DOWNLOAD_ARGS&)> duringDownload;

    int Result(const std::string& name) {
        log.push_back(name);
        for (const auto& [n, r] : results)
            if (n == name) return r;
        return 0;
    }
    bool Called(const std::string& name) const { return std::find(log.begin(), log.end(), name) != log.end(); }
    // The log from the first call of `name` on.
    std::vector<std::string> From(const std::string& name) const {
        auto it = std::find(log.begin(), log.end(), name);
        return {it, log.end()};
    }

    static int Fill(const Enumeration& e, unsigned short* ports, unsigned short* count) {
        unsigned short n = 0;
        for (unsigned short p : e.ports)
            if (n < *count) ports[n++] = p;
        *count = n;
        return e.result;
    }

    int ComPortEnumerate(unsigned short* ports, unsigned short* count) override {
        log.push_back("ComPortEnumerate");
        const Enumeration e = enumerations.empty() ? Enumeration{2, {}} : enumerations.front();
        if (enumerations.size() > 1) enumerations.pop_front();
        return Fill(e, ports, count);
    }
    int ComPortEnumerateWithFilterHardwareID(unsigned short* ports, unsigned short* count,
                                             const COM_PORT_FILTER* filter) override {
        log.push_back("ComPortEnumerateWithFilterHardwareID");
        filterSeen = filter && filter->count == 1 ? filter->hardwareIds[0] : "<bad filter>";
        return Fill(filtered, ports, count);
    }
    int DL_Create(DL_HANDLE_T* dl) override { return *dl = &dlObject, Result("DL_Create"); }
    int DL_Destroy(DL_HANDLE_T* dl) override { return *dl = nullptr, Result("DL_Destroy"); }
    int DL_Rom_UnloadAll(DL_HANDLE_T) override { return Result("DL_Rom_UnloadAll"); }
    int DA_Create(DA_HANDLE_T* da) override { return *da = &daObject, Result("DA_Create"); }
    int DA_Destroy(DA_HANDLE_T* da) override { return *da = nullptr, Result("DA_Destroy"); }
    int DA_Load(DA_HANDLE_T da, const char* path, int verify) override {
        daPathSeen = path;
        EXPECT_EQ(da, &daObject);
        EXPECT_EQ(verify, 1);
        return Result("DA_Load");
    }
    int DA_Unload(DA_HANDLE_T) override { return Result("DA_Unload"); }
    int DL_CreateList(DL_LIST_HANDLE_T* list) override { return *list = &listObject, Result("DL_CreateList"); }
    int DL_DestroyList(DL_LIST_HANDLE_T* list) override { return *list = nullptr, Result("DL_DestroyList"); }
    int FlashTool_Connect(unsigned char port, BROM_CONNECT_ARGS* args, BROM_CONNECT_RESULT* result, int* stopFlag,
                          FLASHTOOL_HANDLE_T* handle) override {
        connectedPort = port;
        connectArgs = std::make_unique<BROM_CONNECT_ARGS>(*args);
        connectResultSeen = result;
        stopFlagSeen = stopFlag;
        if (duringConnect) duringConnect(*args);
        const int r = Result("FlashTool_Connect");
        *handle = r == 0 ? &connectionObject : nullptr;
        return r;
    }
    int FlashTool_Disconnect(FLASHTOOL_HANDLE_T* handle, int, int) override {
        disconnected.push_back(*handle);
        return Result("FlashTool_Disconnect");
    }
    int FlashTool_EnableWatchDogTimeout(FLASHTOOL_HANDLE_T handle, unsigned int ms, int, int) override {
        EXPECT_EQ(handle, &connectionObject);
        watchdogMs = ms;
        return Result("FlashTool_EnableWatchDogTimeout");
    }
    int FlashTool_Download(FLASHTOOL_HANDLE_T handle, BROM_DOWNLOAD_ARGS* args, BROM_DOWNLOAD_RESULT*) override {
        EXPECT_EQ(handle, &connectionObject);
        downloadArgs = *args;
        if (duringDownload) duringDownload(*args);
        return Result("FlashTool_Download");
    }
    int GetROMSetting(const char* cfg, BROM_ROM_SETTING* setting, int) override {
        cfgPathSeen = cfg;
        // The engine hands a zeroed buffer.
        const auto* bytes = reinterpret_cast<const unsigned char*>(setting);
        EXPECT_TRUE(std::all_of(bytes, bytes + sizeof(BROM_ROM_SETTING), [](unsigned char b) { return b == 0; }));
        return Result("GetROMSetting");
    }
    int GetExternalMemorySetting(const char*, BROM_EXTERNAL_MEMORY_SETTING* setting, int) override {
        setting->words[0] = 0xE0E0;
        return Result("GetExternalMemorySetting");
    }
    int DL_CreateROMEntries(DL_HANDLE_T, const BROM_ROM_SETTING*) override { return Result("DL_CreateROMEntries"); }
    int DL_AutoLoadROMFiles(DL_HANDLE_T) override { return Result("DL_AutoLoadROMFiles"); }
    int DL_GetBMTPoolAddress(DL_HANDLE_T, unsigned int* address) override {
        *address = 0xB000;
        return Result("DL_GetBMTPoolAddress");
    }
    bool VerifyIntegrity() override { return log.push_back("VerifyIntegrity"), intact; }
    bool BindExtendedFunctions() override { return log.push_back("BindExtendedFunctions"), extendedFound; }
    int DL_GetCount_Ex(DL_HANDLE_T, unsigned short* count) override {
        *count = static_cast<unsigned short>(countOverride >= 0 ? countOverride : static_cast<int>(regions.size()));
        return Result("DL_GetCount_Ex");
    }
    int DL_Rom_GetInfoAll_Ex(DL_HANDLE_T, BROM_ROM_INFO* info, unsigned short capacity) override {
        EXPECT_EQ(capacity, 35);
        for (std::size_t i = 0; i < regions.size() && i < capacity; ++i)
            std::strncpy(reinterpret_cast<char*>(&info[i]) + 8, regions[i].c_str(), 127);
        return Result("DL_Rom_GetInfoAll_Ex");
    }
    int DL_Rom_SetEnableAttr_Ex(DL_HANDLE_T, unsigned short index, int enable) override {
        EXPECT_EQ(enable, 0);
        log.push_back("DL_Rom_SetEnableAttr_Ex");
        if (static_cast<int>(index) == failDisableAt) return 1011;
        disabled.push_back(index);
        return 0;
    }

    int dlObject = 0, daObject = 0, listObject = 0, connectionObject = 0;
};

// A downloader on a scripted library with an observer of its own, for tests of one outcome each.
struct ScriptedDownload {
    explicit ScriptedDownload(ScriptedLibrary& library) : downloader(library) {
        TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(recorder);
        downloader.SetDownloadAgentPath("da.bin");
        downloader.SetRomSettingPath("rom.cfg");
    }
    std::shared_ptr<RecordingObserver> recorder = std::make_shared<RecordingObserver>();
    TVSP_MTKDownloader downloader;
};

const std::vector<std::string> kReleaseOrder = {"DA_Unload", "DA_Destroy", "DL_DestroyList", "DL_Rom_UnloadAll",
                                                "DL_Destroy"};

class MtkDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        observer = std::make_shared<RecordingObserver>();
        TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(observer);
        downloader.SetDownloadAgentPath("C:\\tool\\MTK_AllInOne_DA.bin");
        downloader.SetRomSettingPath("C:\\roms\\watch\\rom.cfg");
        downloader.SetPortWaitLimit(2000);
        downloader.SetPort(9);
        // The watch goes away and comes back lower.
        library.enumerations = {{0, {9}}, {2, {}}, {0, {4}}};
    }
    void TearDown() override { TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(nullptr); }

    ScriptedLibrary library;
    TVSP_MTKDownloader downloader{library};
    std::shared_ptr<RecordingObserver> observer;
};

TEST_F(MtkDownloaderTest, EmptyPathsFailAtOnceWithoutTheLibrary) {
    for (int which = 0; which < 2; ++which) {
        TVSP_MTKDownloader d(library);
        d.SetDownloadAgentPath(which == 0 ? "" : "da.bin");
        d.SetRomSettingPath(which == 0 ? "rom.cfg" : "");
        d.Download(9);
    }
    EXPECT_TRUE(library.log.empty());
    EXPECT_EQ(observer->Slots(), (std::vector<int>{0, 0}));
}

TEST_F(MtkDownloaderTest, RegionsChosenByModelClass) {
    library.regions = {"ARM_BL", "ROM", "OTA", "arm_ext_bl", "ota"};
    const struct {
        unsigned modelClass;
        std::vector<unsigned short> disabled;
    } rows[] = {{20, {0, 3}}, {31, {0, 3}}, {32, {0, 3}}, {51, {0, 3}}, {33, {0, 1, 3}}, {50, {0, 1, 3}}};
    for (const auto& row : rows) {
        library.disabled.clear();
        downloader.SetModelClass(row.modelClass);
        EXPECT_TRUE(downloader.Prepare()) << row.modelClass;
        EXPECT_EQ(library.disabled, row.disabled) << row.modelClass;
    }
    EXPECT_EQ(library.daPathSeen, "C:\\tool\\MTK_AllInOne_DA.bin");
    EXPECT_EQ(library.cfgPathSeen, "C:\\roms\\watch\\rom.cfg");
}

TEST_F(MtkDownloaderTest, PreparationStepsInOrderAndTheIntegrityCheckBeforeTheExtendedFunctions) {
    ASSERT_TRUE(downloader.Prepare());
    const std::vector<std::string> expected = {
        "DL_Create", "GetROMSetting", "DL_CreateROMEntries", "DL_AutoLoadROMFiles", "DL_CreateList", "DA_Create",
        "DA_Load", "VerifyIntegrity", "BindExtendedFunctions", "DL_GetCount_Ex", "DL_Rom_GetInfoAll_Ex",
        "DL_Rom_SetEnableAttr_Ex"};
    EXPECT_EQ(library.log, expected);
    // A second preparation releases the first one's objects before creating new ones.
    library.log.clear();
    ASSERT_TRUE(downloader.Prepare());
    EXPECT_EQ(std::vector<std::string>(library.log.begin(), library.log.begin() + 6),
              (std::vector<std::string>{"DA_Unload", "DA_Destroy", "DL_DestroyList", "DL_Rom_UnloadAll", "DL_Destroy",
                                        "DL_Create"}));
}

TEST_F(MtkDownloaderTest, EveryFailingPreparationStepReleasesAndReportsSlotZero) {
    const struct {
        const char* what;
        std::function<void(ScriptedLibrary&)> script;
        std::vector<std::string> releasedAfter;  // release calls expected after the failure
    } rows[] = {
        {"GetROMSetting", [](ScriptedLibrary& l) { l.results = {{"GetROMSetting", 1003}}; },
         {"DL_Rom_UnloadAll", "DL_Destroy"}},
        {"DL_CreateROMEntries", [](ScriptedLibrary& l) { l.results = {{"DL_CreateROMEntries", 1005}}; },
         {"DL_Rom_UnloadAll", "DL_Destroy"}},
        {"DL_AutoLoadROMFiles", [](ScriptedLibrary& l) { l.results = {{"DL_AutoLoadROMFiles", 1}}; },
         {"DL_Rom_UnloadAll", "DL_Destroy"}},
        {"DA_Load", [](ScriptedLibrary& l) { l.results = {{"DA_Load", 1013}}; }, kReleaseOrder},
        {"VerifyIntegrity", [](ScriptedLibrary& l) { l.intact = false; }, kReleaseOrder},
        {"BindExtendedFunctions", [](ScriptedLibrary& l) { l.extendedFound = false; }, kReleaseOrder},
        {"DL_GetCount_Ex", [](ScriptedLibrary& l) { l.results = {{"DL_GetCount_Ex", 1002}}; }, kReleaseOrder},
        {"DL_GetCount_Ex", [](ScriptedLibrary& l) { l.countOverride = 0; }, kReleaseOrder},
        {"DL_GetCount_Ex", [](ScriptedLibrary& l) { l.countOverride = 36; }, kReleaseOrder},
        {"DL_Rom_GetInfoAll_Ex", [](ScriptedLibrary& l) { l.results = {{"DL_Rom_GetInfoAll_Ex", 1012}}; },
         kReleaseOrder},
        {"DL_Rom_SetEnableAttr_Ex", [](ScriptedLibrary& l) { l.failDisableAt = 0; }, kReleaseOrder},
    };
    for (const auto& row : rows) {
        ScriptedLibrary lib;
        row.script(lib);
        std::shared_ptr<RecordingObserver> recorder;
        {
            ScriptedDownload d(lib);
            recorder = d.recorder;
            d.downloader.Download(9);
            // Released at the failure: the destructor finds nothing left.
            std::vector<std::string> after = lib.From(row.what);
            after.erase(after.begin());
            if (!after.empty() && after.front() == "DL_Rom_SetEnableAttr_Ex") after.erase(after.begin());
            EXPECT_EQ(after, row.releasedAfter) << row.what;
            lib.log.clear();
        }
        EXPECT_TRUE(lib.log.empty()) << row.what;
        EXPECT_EQ(recorder->Slots(), std::vector<int>{0}) << row.what;
        EXPECT_FALSE(lib.Called("ComPortEnumerate")) << row.what;
    }
}

TEST_F(MtkDownloaderTest, APassingCountOf35IsTheLastThatIsJudged) {
    library.regions.clear();
    for (int i = 0; i < 35; ++i) library.regions.push_back(i == 34 ? "ARM_BL" : "R" + std::to_string(i));
    ASSERT_TRUE(downloader.Prepare());
    EXPECT_EQ(library.disabled, std::vector<unsigned short>{34});
}

TEST_F(MtkDownloaderTest, PortWait) {
    const struct {
        const char* what;
        std::deque<ScriptedLibrary::Enumeration> enumerations;
        bool found;
        unsigned short port;
    } rows[] = {
        {"new lower port at once", {{0, {3, 9}}, {0, {3, 4}}}, true, 4},
        {"higher port only once the place is empty", {{0, {3, 9}}, {0, {3, 11}}, {0, {3}}, {0, {3, 11}}}, true, 11},
        {"no port at the snapshot", {{2, {}}, {2, {}}, {0, {14}}}, true, 14},
        {"result 2 empties both lists", {{0, {9}}, {2, {7}}, {0, {12}}}, true, 12},
        {"first enumeration fails", {{3, {}}, {0, {4}}}, false, 0},
        {"time-out", {{0, {3, 9}}, {0, {3, 11}}}, false, 0},
    };
    for (const auto& row : rows) {
        library.enumerations = row.enumerations;
        unsigned short port = 0xEEEE;
        downloader.SetPortWaitLimit(300);
        EXPECT_EQ(downloader.WaitForDownloadPort(&port), row.found) << row.what;
        EXPECT_EQ(port, row.found ? row.port : 0xEEEE) << row.what;
    }
}

TEST_F(MtkDownloaderTest, NoPortWithinTheLimitReportsSlotTwo) {
    library.enumerations = {{0, {9}}};
    std::atomic<int> found{0};
    downloader.SetDownloadPortFoundFlag(&found);
    downloader.SetPortWaitLimit(200);
    downloader.Download(9);
    EXPECT_EQ(observer->Slots(), std::vector<int>{2});
    EXPECT_EQ(found, 0);
    EXPECT_FALSE(library.Called("FlashTool_Connect"));
}

TEST_F(MtkDownloaderTest, SuccessReportsConnectedThenOneEndWithZero) {
    std::atomic<int> found{0};
    downloader.SetDownloadPortFoundFlag(&found);
    downloader.Download(9);
    EXPECT_EQ(observer->Slots(), (std::vector<int>{1, 4}));
    EXPECT_EQ(observer->events.back().args, std::vector<ObserverArg>{0});
    EXPECT_EQ(observer->events[0].args[0], reinterpret_cast<ObserverArg>(library.connectResultSeen));
    EXPECT_EQ(found, kDownloadPortWritten);
    EXPECT_EQ(library.connectedPort, 4u);
    EXPECT_EQ(downloader.Port(), 4);
    EXPECT_EQ(library.watchdogMs, 50u);
    EXPECT_EQ(library.From("FlashTool_Connect"),
              (std::vector<std::string>{"FlashTool_Connect", "FlashTool_Download", "FlashTool_EnableWatchDogTimeout",
                                        "FlashTool_Disconnect"}));
    EXPECT_EQ(library.disconnected, std::vector<FLASHTOOL_HANDLE_T>{&library.connectionObject});
}

TEST_F(MtkDownloaderTest, ConnectFailureGivesExactlyOneEndEvent) {
    library.results = {{"FlashTool_Connect", 1017}};
    downloader.Download(9);
    EXPECT_EQ(observer->Slots(), std::vector<int>{4});
    EXPECT_EQ(observer->events[0].args, std::vector<ObserverArg>{1017});
    EXPECT_EQ(library.From("FlashTool_Connect"),
              (std::vector<std::string>{"FlashTool_Connect", "FlashTool_Disconnect"}));
    EXPECT_EQ(downloader.LastResult(), 1017);
}

TEST_F(MtkDownloaderTest, DownloadFailureArmsNoWatchdogAndEndsWithTheResult) {
    library.results = {{"FlashTool_Download", 1020}};
    std::atomic<int> found{0};
    downloader.SetDownloadPortFoundFlag(&found);
    downloader.Download(9);
    EXPECT_EQ(found, kDownloadPortInUse);  // the port's going is still a broken download
    EXPECT_EQ(observer->Slots(), (std::vector<int>{1, 4}));
    EXPECT_EQ(observer->events[1].args, std::vector<ObserverArg>{1020});
    EXPECT_FALSE(library.Called("FlashTool_EnableWatchDogTimeout"));
    EXPECT_EQ(library.disconnected.size(), 1u);
}

TEST_F(MtkDownloaderTest, RefusedConnectionDisconnectsWithoutAnEndEvent) {
    observer->connectAnswer = 0;
    downloader.Download(9);
    EXPECT_EQ(observer->Slots(), (std::vector<int>{1, 3}));
    EXPECT_FALSE(library.Called("FlashTool_Download"));
    EXPECT_EQ(library.disconnected, std::vector<FLASHTOOL_HANDLE_T>{&library.connectionObject});
}

TEST_F(MtkDownloaderTest, WithoutAnObserverTheConnectStillProceeds) {
    TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(nullptr);
    downloader.Download(9);
    EXPECT_TRUE(library.Called("FlashTool_Download"));
    EXPECT_EQ(library.watchdogMs, 50u);
}

TEST_F(MtkDownloaderTest, ExternalMemoryOrBmtFailureSkipsTheConnect) {
    for (const char* failing : {"GetExternalMemorySetting", "DL_GetBMTPoolAddress"}) {
        ScriptedLibrary lib;
        lib.enumerations = {{2, {}}, {0, {6}}};
        lib.results = {{failing, 1003}};
        // Both fail: the first result is the one reported.
        if (std::string(failing) == "GetExternalMemorySetting") lib.results.push_back({"DL_GetBMTPoolAddress", 1002});
        ScriptedDownload d(lib);
        d.downloader.Download(9);
        const auto& recorder = d.recorder;
        EXPECT_FALSE(lib.Called("FlashTool_Connect")) << failing;
        EXPECT_EQ(recorder->Slots(), std::vector<int>{4}) << failing;
        EXPECT_EQ(recorder->events[0].args, std::vector<ObserverArg>{1003}) << failing;
    }
}

TEST_F(MtkDownloaderTest, APortAbove255IsNeverCutToAnotherPort) {
    library.enumerations = {{2, {}}, {0, {261}}};
    downloader.Download(9);
    EXPECT_FALSE(library.Called("FlashTool_Connect"));
    EXPECT_EQ(observer->Slots(), std::vector<int>{4});
    EXPECT_EQ(observer->events[0].args, std::vector<ObserverArg>{static_cast<ObserverArg>(kDownloadPortOutOfRange)});
}

// The values the library reads from the records, and callbacks that reach the observer slots.
TEST_F(MtkDownloaderTest, RecordsCarryTheirValuesAndCallbacksReachTheirSlots) {
    library.duringConnect = [](BROM_CONNECT_ARGS& a) {
        a.inner.callbackA(0xA1, reinterpret_cast<std::uintptr_t>(a.inner.contextA));
        a.inner.callbackB(0xB1, 0xB2, reinterpret_cast<std::uintptr_t>(a.inner.contextB));
        a.inner.callbackC(reinterpret_cast<std::uintptr_t>(a.inner.contextC));
        a.inner.callbackD(37, 0xD2, 0xD3, reinterpret_cast<std::uintptr_t>(a.inner.contextD));
        a.callbackE(reinterpret_cast<std::uintptr_t>(a.contextE));
    };
    library.duringDownload = [](BROM_DOWNLOAD_ARGS& a) {
        auto ctx = [](void* c) { return reinterpret_cast<std::uintptr_t>(c); };
        a.callback8(3, ctx(a.context8));
        a.callback124(100, 3, 3, ctx(a.context124));
        a.callback364(100, ctx(a.context364));
        a.callback28(55, 1, 2, ctx(a.context28));
        a.callback60(100, 3, 3, ctx(a.context60));
        a.callback20(ctx(a.context20));
        EXPECT_EQ(a.callback52(ctx(a.context52)), 0);
        EXPECT_EQ(a.callback68(ctx(a.context68)), 0);
        a.callback36(ctx(a.context36));
        a.callback44(1, 2, 3, ctx(a.context44));
        a.callback84(ctx(a.context84));
        a.callback92(1, 2, 3, ctx(a.context92));
        a.callback100(1, 2, 3, 4, ctx(a.context100));
        a.callback108(1, 2, 3, ctx(a.context108));
        a.callback116(ctx(a.context116));
        a.callback132(ctx(a.context132));
        a.callback140(ctx(a.context140));
        a.callback356(ctx(a.context356));
    };
    downloader.Download(9);
    const auto self = reinterpret_cast<ObserverArg>(&downloader);
    const BROM_CONNECT_ARGS& c = *library.connectArgs;
    EXPECT_EQ(c.value0, 0x0FFFFFFFu);
    EXPECT_EQ(c.value4, 0x0FFFFFFFu);
    EXPECT_EQ(c.inner.value0, 254u);
    EXPECT_EQ(c.inner.value4, 254u);
    EXPECT_EQ(c.inner.value8, 0x0FFFFFFFu);
    EXPECT_EQ(c.inner.value12, 1u);
    EXPECT_EQ(c.inner.contextB, reinterpret_cast<unsigned char*>(library.connectResultSeen) + 4);
    EXPECT_EQ(c.inner.value32, 1u);
    EXPECT_EQ(reinterpret_cast<ObserverArg>(c.inner.context56), self);
    EXPECT_EQ(reinterpret_cast<ObserverArg>(c.inner.context64), self);
    EXPECT_EQ(c.inner.daHandle, &library.daObject);
    EXPECT_EQ(c.inner.value108, 1u);
    EXPECT_EQ(c.inner.externalMemory.words[0], 0xE0E0u);
    EXPECT_EQ(c.inner.value57084, 1u);
    EXPECT_EQ(c.value57116, 8u);
    EXPECT_EQ(c.bmtPoolAddress, 0xB000u);
    for (unsigned v : c.inner.zero36) EXPECT_EQ(v, 0u);
    EXPECT_EQ(*library.stopFlagSeen, 0);
    const BROM_DOWNLOAD_ARGS& d = library.downloadArgs;
    EXPECT_EQ(d.dlHandle, &library.dlObject);
    EXPECT_EQ(reinterpret_cast<ObserverArg>(d.context80), self);
    EXPECT_EQ(d.value148, 1u);
    EXPECT_EQ(d.value152, 1u);
    EXPECT_EQ(d.value372, 1u);
    EXPECT_EQ(d.value4 | d.value16 | d.value76 | d.value156 | d.value160 | d.value352 | d.value376 | d.value380 |
                  d.value384,
              0u);

    const std::vector<int> expected = {5, 6, 7, 8, 9, 1, 10, 32, 23, 12, 13, 11, 14, 15, 16, 17, 18, 19, 31, 20, 21, 22, 4};
    EXPECT_EQ(observer->Slots(), expected);
    // Arguments arrive unchanged, the context last.
    EXPECT_EQ(observer->events[0].args, (std::vector<ObserverArg>{0xA1, self}));
    EXPECT_EQ(observer->events[3].args, (std::vector<ObserverArg>{37, 0xD2, 0xD3, self}));
    EXPECT_EQ(observer->events[9].args, (std::vector<ObserverArg>{55, 1, 2, self}));
}

// With port 0 the preparation finds the watch through the filtered enumeration, and needs
// exactly one.
TEST_F(MtkDownloaderTest, PortZeroNeedsExactlyOneWatchPort) {
    const struct {
        ScriptedLibrary::Enumeration filtered;
    } rows[] = {{{0, {}}}, {{0, {5, 6}}}, {{2, {}}}, {{3, {5}}}};
    for (const auto& row : rows) {
        downloader.SetPort(0);
        library.filtered = row.filtered;
        library.log.clear();
        EXPECT_FALSE(downloader.Prepare());
        EXPECT_EQ(library.filterSeen, "VID_0E8D&PID_0003");
        EXPECT_FALSE(library.Called("DL_Create"));
        EXPECT_EQ(downloader.Port(), 0);
    }
}

// The one enumeration of the engine: the library's answer as it gave it, the watch's ports
// through exactly one hardware-id filter, the first port whatever the result.
TEST(WatchPortsTest, EnumerationsCarryTheLibrarysAnswer) {
    const struct {
        ScriptedLibrary::Enumeration answer;
        unsigned short count;
        unsigned short first;
    } rows[] = {{{0, {5, 6}}, 2, 5}, {{0, {}}, 0, 0}, {{2, {}}, 0, 0}, {{3, {7}}, 1, 7}};
    for (const auto& row : rows) {
        ScriptedLibrary library;
        library.filtered = row.answer;
        library.enumerations = {row.answer};
        for (const PortEnumeration& e : {EnumerateWatchPorts(library), EnumerateAllPorts(library)}) {
            EXPECT_EQ(e.result, row.answer.result);
            EXPECT_EQ(e.count, row.count);
            EXPECT_EQ(e.First(), row.first);
            EXPECT_EQ(e.ports[row.count], 0) << "zeros after the last port";
        }
        EXPECT_EQ(library.log, (std::vector<std::string>{"ComPortEnumerateWithFilterHardwareID", "ComPortEnumerate"}));
        EXPECT_EQ(library.filterSeen, "VID_0E8D&PID_0003");
    }
}

}  // namespace

// The real brom.dll beside the test program, with the virtual watch on its normal port.
namespace {

class MtkDownloaderWatchTest : public tvsp_test::VirtualWatchTest {};

TEST_F(MtkDownloaderWatchTest, PortZeroFindsTheWatchOpensItOnceAndPreparesTheRealLibrary) {
    tvsp::TempFolder folder(L"downloader-prepare");
    const std::string cfg = "[romset]\nname=t\n[region]\nname=ARM_BL\nfile=a.bin\naddress=0\n"
                            "[region]\nname=ROM\nfile=b.bin\naddress=0x10000\n";
    ASSERT_TRUE(WriteWholeFile(folder / L"a.bin", "boot", 4));
    ASSERT_TRUE(WriteWholeFile(folder / L"b.bin", "rom!", 4));
    ASSERT_TRUE(WriteWholeFile(folder / L"rom.cfg", cfg.data(), cfg.size()));
    auto observer = std::make_shared<RecordingObserver>();
    TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(observer);

    TVSP_MTKDownloader downloader;
    downloader.SetDownloadAgentPath(WideToAnsi(GetOwnDirectory() + L"\\MTK_AllInOne_DA.bin"));
    downloader.SetRomSettingPath(WideToAnsi(folder / L"rom.cfg"));
    EXPECT_TRUE(downloader.Prepare());
    EXPECT_EQ(downloader.Port(), tvsp_test::kWatchPort);
    ASSERT_EQ(observer->Slots(), std::vector<int>{5});
    EXPECT_NE(observer->events[0].args[0], 0u);  // the serial handle
    EXPECT_EQ(observer->events[0].args[1], 0u);
    // The port was closed again: an AT transaction gets it.
    EXPECT_EQ(ReadFirmwareVersion(tvsp_test::kWatchPort), "WK7_GSM1.2.3_BLE4_U_V5");

    TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(nullptr);
}

TEST_F(MtkDownloaderWatchTest, ABrokenRomSetFailsThePreparationThroughTheRealLibrary) {
    tvsp::TempFolder folder(L"downloader-broken");
    const std::string cfg = "[romset]\nname=t\n[region]\nname=ROM\nfile=missing.bin\naddress=0\n";
    ASSERT_TRUE(WriteWholeFile(folder / L"rom.cfg", cfg.data(), cfg.size()));
    TVSP_MTKDownloader downloader;
    downloader.SetPort(tvsp_test::kWatchPort);
    downloader.SetDownloadAgentPath(WideToAnsi(GetOwnDirectory() + L"\\MTK_AllInOne_DA.bin"));
    downloader.SetRomSettingPath(WideToAnsi(folder / L"rom.cfg"));
    EXPECT_FALSE(downloader.Prepare());
    downloader.SetRomSettingPath(WideToAnsi(folder / L"absent.cfg"));
    EXPECT_FALSE(downloader.Prepare());
}

}  // namespace
