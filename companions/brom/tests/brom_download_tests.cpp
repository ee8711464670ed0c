// brom.dll stand-in, download side: exports by ordinal and name, the sample ROM set and agent
// through the library, and every refusal as its result code.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "brom/brom_api.h"
#include "base/win/strings.h"
#include "testing/wine/test_files.h"

namespace {

std::wstring Folder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

std::string Narrow(const std::wstring& path) { return TVSP::WideToAnsi(path); }

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD wrote = 0;
    const bool ok = bytes.empty() || (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
                                      wrote == bytes.size());
    ::CloseHandle(file);
    return ok;
}

// A file of `size` bytes without writing them (the size is all the library looks at first).
bool MakeSizedFile(const std::wstring& path, long long size) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at{};
    at.QuadPart = size;
    const bool ok = ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
    ::CloseHandle(file);
    return ok;
}

struct Operation {
    const char* name;
    WORD ordinal;
};
constexpr Operation kOperations[] = {
    {"DL_Create", brom::kOrdinalDL_Create},
    {"DL_Destroy", brom::kOrdinalDL_Destroy},
    {"DL_Rom_UnloadAll", brom::kOrdinalDL_Rom_UnloadAll},
    {"DA_Create", brom::kOrdinalDA_Create},
    {"DA_Destroy", brom::kOrdinalDA_Destroy},
    {"DA_Load", brom::kOrdinalDA_Load},
    {"DA_Unload", brom::kOrdinalDA_Unload},
    {"ComPortEnumerate", brom::kOrdinalComPortEnumerate},
    {"DL_CreateList", brom::kOrdinalDL_CreateList},
    {"DL_DestroyList", brom::kOrdinalDL_DestroyList},
    {"FlashTool_Connect", brom::kOrdinalFlashTool_Connect},
    {"FlashTool_Disconnect", brom::kOrdinalFlashTool_Disconnect},
    {"FlashTool_EnableWatchDogTimeout", brom::kOrdinalFlashTool_EnableWatchDogTimeout},
    {"FlashTool_Download", brom::kOrdinalFlashTool_Download},
    {"GetROMSetting", brom::kOrdinalGetROMSetting},
    {"GetExternalMemorySetting", brom::kOrdinalGetExternalMemorySetting},
    {"DL_CreateROMEntries", brom::kOrdinalDL_CreateROMEntries},
    {"DL_AutoLoadROMFiles", brom::kOrdinalDL_AutoLoadROMFiles},
    {"ComPortEnumerateWithFilterHardwareID", brom::kOrdinalComPortEnumerateWithFilterHardwareID},
    {"DL_GetBMTPoolAddress", brom::kOrdinalDL_GetBMTPoolAddress},
};

TEST(BromExports, EveryOperationByOrdinalIsTheSameFunctionAsByName) {
    HMODULE library = ::LoadLibraryW((Folder() + L"brom.dll").c_str());
    ASSERT_NE(library, nullptr);
    for (const auto& op : kOperations) {
        const FARPROC byName = ::GetProcAddress(library, op.name);
        const FARPROC byOrdinal = ::GetProcAddress(library, MAKEINTRESOURCEA(op.ordinal));
        EXPECT_NE(byName, nullptr) << op.name;
        EXPECT_EQ(byName, byOrdinal) << op.name << " @" << op.ordinal;
    }
    // The tool finds these by name only.
    for (const char* name : {"DL_GetCount_Ex", "DL_Rom_GetInfoAll_Ex", "DL_Rom_SetEnableAttr_Ex"})
        EXPECT_NE(::GetProcAddress(library, name), nullptr) << name;
    ::FreeLibrary(library);
}

class BromDownload : public ::testing::Test {
protected:
    void SetUp() override {
        setting_ = std::make_unique<BROM_ROM_SETTING>();
        std::memset(setting_.get(), 0, sizeof(BROM_ROM_SETTING));
        ASSERT_EQ(DL_Create(&dl_), BROM_OK);
        ASSERT_NE(dl_, nullptr);
    }
    void TearDown() override {
        if (dl_ != nullptr) {
            EXPECT_EQ(DL_Rom_UnloadAll(dl_), BROM_OK);
            EXPECT_EQ(DL_Destroy(&dl_), BROM_OK);
            EXPECT_EQ(dl_, nullptr);
        }
    }

    // A ROM set in a temporary folder: cfg text and images by relative name.
    std::string WriteSet(const std::string& cfg, const std::vector<std::pair<std::wstring, std::string>>& images) {
        for (const auto& [name, bytes] : images) EXPECT_TRUE(WriteBytes(temp_ / name, bytes));
        EXPECT_TRUE(WriteBytes(temp_ / L"set.cfg", cfg));
        return Narrow(temp_ / L"set.cfg");
    }

    std::string SampleCfg() const { return Narrow(Folder() + L"sample_romset\\sample.cfg"); }

    tvsp::TempFolder temp_{L"brom-download"};
    std::unique_ptr<BROM_ROM_SETTING> setting_;
    DL_HANDLE_T dl_ = nullptr;
};

TEST_F(BromDownload, SampleSetLoadsAndRegionsCanBeDisabled) {
    ASSERT_EQ(GetROMSetting(SampleCfg().c_str(), setting_.get(), 0), BROM_OK);
    EXPECT_EQ(setting_->regionCount, 3u);
    ASSERT_EQ(DL_CreateROMEntries(dl_, setting_.get()), BROM_OK);
    ASSERT_EQ(DL_AutoLoadROMFiles(dl_), BROM_OK);

    unsigned short count = 0xBEEF;
    ASSERT_EQ(DL_GetCount_Ex(dl_, &count), BROM_OK);
    ASSERT_EQ(count, 3);

    // 35 entries inside a larger array of sentinels: nothing past the regions is written.
    std::vector<BROM_ROM_INFO> info(brom::kRomInfoEntries + 1);
    std::memset(info.data(), 0xA5, info.size() * sizeof(BROM_ROM_INFO));
    ASSERT_EQ(DL_Rom_GetInfoAll_Ex(dl_, info.data(), brom::kRomInfoEntries), BROM_OK);
    const struct {
        const char* name;
        unsigned long long address, length;
        const char* file;
    } expected[] = {{"ARM_BL", 0, 1000, "arm_bl.bin"},
                    {"ROM", 0x100000, 3 * 65536 + 123, "rom.bin"},
                    {"OTA", 8388608, 65536, "ota/ota.bin"}};
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_STREQ(info[i].name, expected[i].name);
        EXPECT_STREQ(reinterpret_cast<const char*>(&info[i]) + 8, expected[i].name);  // the name at offset 8
        EXPECT_EQ(info[i].index, i);
        EXPECT_EQ(info[i].enabled, 1u);
        EXPECT_EQ(info[i].address, expected[i].address);
        EXPECT_EQ(info[i].length, expected[i].length);
        EXPECT_STREQ(info[i].file, expected[i].file);
    }
    const auto* untouched = reinterpret_cast<const unsigned char*>(&info[3]);
    for (std::size_t b = 0; b < (info.size() - 3) * sizeof(BROM_ROM_INFO); ++b) ASSERT_EQ(untouched[b], 0xA5) << b;

    // Disabling: index N-1 works, N is refused; the attribute shows in the information.
    EXPECT_EQ(DL_Rom_SetEnableAttr_Ex(dl_, 0, 0), BROM_OK);
    EXPECT_EQ(DL_Rom_SetEnableAttr_Ex(dl_, 2, 0), BROM_OK);
    EXPECT_EQ(DL_Rom_SetEnableAttr_Ex(dl_, 2, 1), BROM_OK);
    EXPECT_EQ(DL_Rom_SetEnableAttr_Ex(dl_, 3, 0), BROM_REGION_INDEX_INVALID);
    ASSERT_EQ(DL_Rom_GetInfoAll_Ex(dl_, info.data(), brom::kRomInfoEntries), BROM_OK);
    EXPECT_EQ(info[0].enabled, 0u);
    EXPECT_EQ(info[1].enabled, 1u);
    EXPECT_EQ(info[2].enabled, 1u);

    // Room for fewer entries than regions: the first ones, and a result that says so.
    std::memset(info.data(), 0xA5, info.size() * sizeof(BROM_ROM_INFO));
    EXPECT_EQ(DL_Rom_GetInfoAll_Ex(dl_, info.data(), 2), BROM_BUFFER_TOO_SMALL);
    EXPECT_STREQ(info[1].name, "ROM");
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&info[2])[0], 0xA5);

    unsigned int bmt = 0xFFFFFFFF;
    EXPECT_EQ(DL_GetBMTPoolAddress(dl_, &bmt), BROM_OK);
    EXPECT_EQ(bmt, 0u);
    auto external = std::make_unique<BROM_EXTERNAL_MEMORY_SETTING>();
    std::memset(external.get(), 0x5A, sizeof(*external));
    EXPECT_EQ(GetExternalMemorySetting(SampleCfg().c_str(), external.get(), 0), BROM_OK);
    EXPECT_EQ(external->words[0], 0u);
    EXPECT_EQ(external->words[56960 / 4 - 1], 0u);

    DA_HANDLE_T da = nullptr;
    ASSERT_EQ(DA_Create(&da), BROM_OK);
    EXPECT_EQ(DA_Load(da, Narrow(Folder() + L"MTK_AllInOne_DA.bin").c_str(), 1), BROM_OK);
    EXPECT_EQ(DA_Unload(da), BROM_OK);
    EXPECT_EQ(DA_Destroy(&da), BROM_OK);
    EXPECT_EQ(da, nullptr);
    EXPECT_EQ(DA_Destroy(&da), BROM_INVALID_HANDLE);

    DL_LIST_HANDLE_T list = nullptr;
    EXPECT_EQ(DL_CreateList(&list), BROM_OK);
    EXPECT_EQ(DL_DestroyList(&list), BROM_OK);
    EXPECT_EQ(list, nullptr);
}

TEST_F(BromDownload, BrokenSettingFilesAreRefusedAndLeaveTheBufferAlone) {
    std::string many = "[romset]\nname=many\n";
    for (int i = 0; i < 36; ++i) many += "[region]\nname=R" + std::to_string(i) + "\nfile=a.bin\naddress=0\n";
    const struct {
        const char* what;
        std::string cfg;
        int result;
    } rows[] = {
        {"escaping path", "[romset]\nname=x\n[region]\nname=A\nfile=..\\a.bin\naddress=0\n", BROM_ROM_PATH_ESCAPES},
        {"absolute path", "[romset]\nname=x\n[region]\nname=A\nfile=C:\\a.bin\naddress=0\n", BROM_ROM_PATH_ESCAPES},
        {"36 regions", many, BROM_ROM_TOO_MANY_REGIONS},
        {"bad address", "[romset]\nname=x\n[region]\nname=A\nfile=a.bin\naddress=1x\n", BROM_ROM_SETTING_INVALID},
        {"empty file", "", BROM_ROM_SETTING_INVALID},
    };
    for (const auto& row : rows) {
        std::memset(setting_.get(), 0x3C, sizeof(BROM_ROM_SETTING));
        EXPECT_EQ(GetROMSetting(WriteSet(row.cfg, {}).c_str(), setting_.get(), 0), row.result) << row.what;
        EXPECT_EQ(setting_->magic, 0x3C3C3C3Cu) << row.what;
    }
    EXPECT_EQ(GetROMSetting(Narrow(temp_ / L"missing.cfg").c_str(), setting_.get(), 0), BROM_FILE_OPEN_FAILED);
    EXPECT_EQ(GetROMSetting(nullptr, setting_.get(), 0), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(GetROMSetting("", setting_.get(), 0), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(GetROMSetting(SampleCfg().c_str(), nullptr, 0), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(GetExternalMemorySetting(SampleCfg().c_str(), nullptr, 0), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(GetExternalMemorySetting(Narrow(temp_ / L"missing.cfg").c_str(),
                                       std::make_unique<BROM_EXTERNAL_MEMORY_SETTING>().get(), 0),
              BROM_FILE_OPEN_FAILED);
}

TEST_F(BromDownload, ImagesThatCannotBeLoadedFailTheWholeSet) {
    const std::string cfg = "[romset]\nname=x\n[region]\nname=A\nfile=a.bin\naddress=0\n"
                            "[region]\nname=B\nfile=b.bin\naddress=0x1000\n";
    const std::string good(100, 'a');
    const struct {
        const char* what;
        std::string bBytes;  // "<missing>" writes no b.bin
        long long bSize;     // above 0: b.bin of that size instead
        int result;
    } rows[] = {
        {"missing image", "<missing>", 0, BROM_FILE_OPEN_FAILED},
        {"empty image", "", 0, BROM_ROM_IMAGE_EMPTY},
        {"64 MiB + 1", "", (64ll << 20) + 1, BROM_ROM_IMAGE_TOO_LARGE},
        {"one byte", "b", 0, BROM_OK},
    };
    for (const auto& row : rows) {
        ::DeleteFileW((temp_ / L"b.bin").c_str());
        std::vector<std::pair<std::wstring, std::string>> images = {{L"a.bin", good}};
        if (row.bSize == 0 && row.bBytes != "<missing>") images.push_back({L"b.bin", row.bBytes});
        const std::string path = WriteSet(cfg, images);
        if (row.bSize > 0) {
            ASSERT_TRUE(MakeSizedFile(temp_ / L"b.bin", row.bSize));
        }
        ASSERT_EQ(GetROMSetting(path.c_str(), setting_.get(), 0), BROM_OK) << row.what;
        ASSERT_EQ(DL_CreateROMEntries(dl_, setting_.get()), BROM_OK) << row.what;
        EXPECT_EQ(DL_AutoLoadROMFiles(dl_), row.result) << row.what;
        // Nothing half-loaded: the first image's length shows only when all loaded.
        BROM_ROM_INFO info[2] = {};
        ASSERT_EQ(DL_Rom_GetInfoAll_Ex(dl_, info, 2), BROM_OK);
        EXPECT_EQ(info[0].length, row.result == BROM_OK ? 100u : 0u) << row.what;
    }
}

TEST_F(BromDownload, ABufferThatWasTamperedWithIsCheckedAgain) {
    ASSERT_EQ(GetROMSetting(SampleCfg().c_str(), setting_.get(), 0), BROM_OK);
    BROM_ROM_SETTING copy = *setting_;
    std::strcpy(copy.regions[1].file, "..\\..\\secret.bin");
    EXPECT_EQ(DL_CreateROMEntries(dl_, &copy), BROM_ROM_PATH_ESCAPES);
    copy = *setting_;
    std::memset(copy.regions[0].name, 'N', sizeof copy.regions[0].name);  // no terminator
    EXPECT_EQ(DL_CreateROMEntries(dl_, &copy), BROM_ROM_SETTING_INVALID);
    copy = *setting_;
    copy.regionCount = 36;
    EXPECT_EQ(DL_CreateROMEntries(dl_, &copy), BROM_ROM_TOO_MANY_REGIONS);
    copy.regionCount = 0;
    EXPECT_EQ(DL_CreateROMEntries(dl_, &copy), BROM_ROM_SETTING_INVALID);
    copy = *setting_;
    copy.magic = 0;
    EXPECT_EQ(DL_CreateROMEntries(dl_, &copy), BROM_ROM_SETTING_INVALID);
    EXPECT_EQ(DL_CreateROMEntries(dl_, nullptr), BROM_INVALID_ARGUMENT);
    // Nothing was taken over: there are no entries to load.
    EXPECT_EQ(DL_AutoLoadROMFiles(dl_), BROM_ROM_NOT_LOADED);
}

TEST_F(BromDownload, BadHandlesAndNullPointersAreResults) {
    int notAHandle = 0;
    void* bogus = &notAHandle;
    DA_HANDLE_T da = nullptr;
    ASSERT_EQ(DA_Create(&da), BROM_OK);
    unsigned short count = 0;
    EXPECT_EQ(DL_GetCount_Ex(bogus, &count), BROM_INVALID_HANDLE);
    EXPECT_EQ(DL_GetCount_Ex(da, &count), BROM_INVALID_HANDLE);  // a DA handle is no DL handle
    EXPECT_EQ(DL_GetCount_Ex(dl_, nullptr), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(DL_Rom_GetInfoAll_Ex(nullptr, nullptr, 35), BROM_INVALID_HANDLE);
    EXPECT_EQ(DL_Rom_GetInfoAll_Ex(dl_, nullptr, 35), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(DL_Rom_SetEnableAttr_Ex(dl_, 0, 0), BROM_REGION_INDEX_INVALID);
    EXPECT_EQ(DL_AutoLoadROMFiles(bogus), BROM_INVALID_HANDLE);
    EXPECT_EQ(DL_CreateROMEntries(bogus, setting_.get()), BROM_INVALID_HANDLE);
    EXPECT_EQ(DL_GetBMTPoolAddress(dl_, nullptr), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(DL_Rom_UnloadAll(nullptr), BROM_INVALID_HANDLE);
    EXPECT_EQ(DL_Create(nullptr), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(DL_Destroy(nullptr), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(DL_Destroy(&bogus), BROM_INVALID_HANDLE);
    EXPECT_EQ(DL_DestroyList(&bogus), BROM_INVALID_HANDLE);
    EXPECT_EQ(DA_Load(bogus, "x", 1), BROM_INVALID_HANDLE);
    EXPECT_EQ(DA_Load(da, nullptr, 1), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(DA_Unload(dl_), BROM_INVALID_HANDLE);
    EXPECT_EQ(DA_Destroy(&da), BROM_OK);
}

TEST_F(BromDownload, DamagedAgentFilesAreRefused) {
    DA_HANDLE_T da = nullptr;
    ASSERT_EQ(DA_Create(&da), BROM_OK);
    const std::string agent = tvsp::ReadAll(Folder() + L"MTK_AllInOne_DA.bin");
    ASSERT_GT(agent.size(), 16u);
    std::string badSum = agent;
    badSum[12] ^= 1;
    std::string oversize = "TVDA";
    oversize.append(0x10000 + 64 + 1 - 4, '\0');
    const struct {
        const char* what;
        std::string bytes;
        int result;
    } rows[] = {{"sum", badSum, BROM_DA_INVALID},
                {"truncated", agent.substr(0, agent.size() - 1), BROM_DA_INVALID},
                {"larger than a frame", oversize, BROM_DA_INVALID},
                {"empty", "", BROM_DA_INVALID},
                {"good", agent, BROM_OK}};
    for (const auto& row : rows) {
        ASSERT_TRUE(WriteBytes(temp_ / L"da.bin", row.bytes));
        EXPECT_EQ(DA_Load(da, Narrow(temp_ / L"da.bin").c_str(), 1), row.result) << row.what;
    }
    EXPECT_EQ(DA_Load(da, Narrow(temp_ / L"missing.bin").c_str(), 1), BROM_FILE_OPEN_FAILED);
    EXPECT_EQ(DA_Destroy(&da), BROM_OK);
}

// Counts the callbacks the connect record gives; none may run when the port cannot be opened.
int g_callbacks = 0;
int WINAPI Count2(std::uintptr_t, std::uintptr_t) { return ++g_callbacks, 0; }
int WINAPI Count3(std::uintptr_t, std::uintptr_t, std::uintptr_t) { return ++g_callbacks, 0; }
int WINAPI Count1(std::uintptr_t) { return ++g_callbacks, 0; }
int WINAPI Count4(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) { return ++g_callbacks, 0; }

TEST_F(BromDownload, ConnectWithoutAWatchFailsCleanly) {
    DA_HANDLE_T da = nullptr;
    ASSERT_EQ(DA_Create(&da), BROM_OK);
    auto args = std::make_unique<BROM_CONNECT_ARGS>();
    std::memset(args.get(), 0, sizeof(BROM_CONNECT_ARGS));
    args->inner.callbackA = Count2;
    args->inner.callbackB = Count3;
    args->inner.callbackC = Count1;
    args->inner.callbackD = Count4;
    args->callbackE = Count1;
    args->inner.daHandle = da;
    BROM_CONNECT_RESULT result{};
    int stop = 0;
    FLASHTOOL_HANDLE_T handle = reinterpret_cast<FLASHTOOL_HANDLE_T>(1);
    g_callbacks = 0;

    // No agent loaded yet.
    EXPECT_EQ(FlashTool_Connect(250, args.get(), &result, &stop, &handle), BROM_DA_NOT_LOADED);
    EXPECT_EQ(handle, nullptr);
    ASSERT_EQ(DA_Load(da, Narrow(Folder() + L"MTK_AllInOne_DA.bin").c_str(), 1), BROM_OK);

    // COM250 is not in the prefix: the port cannot be opened.
    handle = reinterpret_cast<FLASHTOOL_HANDLE_T>(1);
    EXPECT_EQ(FlashTool_Connect(250, args.get(), &result, &stop, &handle), BROM_PORT_OPEN_FAILED);
    EXPECT_EQ(handle, nullptr);
    stop = 1;
    EXPECT_EQ(FlashTool_Connect(250, args.get(), &result, &stop, &handle), BROM_STOPPED);
    EXPECT_EQ(FlashTool_Connect(0, args.get(), &result, &stop, &handle), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(FlashTool_Connect(250, nullptr, &result, &stop, &handle), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(FlashTool_Connect(250, args.get(), nullptr, &stop, &handle), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(FlashTool_Connect(250, args.get(), &result, &stop, nullptr), BROM_INVALID_ARGUMENT);
    EXPECT_EQ(g_callbacks, 0);
    EXPECT_EQ(result.handshakeAttempts, 0u);

    // What the tool does after a failed connect: disconnect through the (null) handle.
    EXPECT_EQ(FlashTool_Disconnect(&handle, 0, 0), BROM_INVALID_HANDLE);
    EXPECT_EQ(FlashTool_Disconnect(nullptr, 0, 0), BROM_INVALID_ARGUMENT);
    BROM_DOWNLOAD_ARGS download{};
    BROM_DOWNLOAD_RESULT downloadResult{};
    EXPECT_EQ(FlashTool_Download(handle, &download, &downloadResult), BROM_INVALID_HANDLE);
    EXPECT_EQ(FlashTool_EnableWatchDogTimeout(handle, 50, 0, 0), BROM_INVALID_HANDLE);
    EXPECT_EQ(DA_Destroy(&da), BROM_OK);
}

}  // namespace
