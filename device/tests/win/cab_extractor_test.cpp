// Tests of CCabExtrator under Wine, on cabinets written by the test itself (stored and MSZIP-stored).
#include <gtest/gtest.h>

#include <windows.h>
#include <setupapi.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device/cab_extractor.h"
#include "base/win/file_io.h"
#include "device/system_utils.h"
#include "base/win/strings.h"
#include "testing/wine/test_files.h"

namespace {

using TVSP::WideToUtf8;
using tvsp::Exists;
using tvsp::ReadAll;
using tvsp::TempFolder;

struct Member {
    std::string name;  // as stored: narrow, backslashes for folders
    std::string data;
};

enum class Method : std::uint16_t { None = 0, MsZip = 1 };

void Put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}

// A single-folder MS-CAB. MSZIP blocks are "CK" and one stored deflate block, which any inflater
// reads, so the test needs no compressor. Checksums are 0 (not checked).
std::string BuildCabinet(const std::vector<Member>& members, Method method = Method::None) {
    std::string stream;
    for (const auto& m : members) stream += m.data;
    std::vector<std::string> blocks;
    for (std::size_t at = 0; at < stream.size() || (at == 0 && blocks.empty()); at += 32768) {
        const std::string chunk = stream.substr(at, 32768);
        std::string block;
        Put32(block, 0);
        if (method == Method::MsZip) {
            std::string payload = "CK";
            payload += static_cast<char>(0x01);  // final block, stored
            Put16(payload, static_cast<std::uint16_t>(chunk.size()));
            Put16(payload, static_cast<std::uint16_t>(~chunk.size()));
            payload += chunk;
            Put16(block, static_cast<std::uint16_t>(payload.size()));
            Put16(block, static_cast<std::uint16_t>(chunk.size()));
            block += payload;
        } else {
            Put16(block, static_cast<std::uint16_t>(chunk.size()));
            Put16(block, static_cast<std::uint16_t>(chunk.size()));
            block += chunk;
        }
        blocks.push_back(block);
        if (stream.empty()) break;
    }

    std::string files;
    std::uint32_t offset = 0;
    for (const auto& m : members) {
        Put32(files, static_cast<std::uint32_t>(m.data.size()));
        Put32(files, offset);
        Put16(files, 0);                                // folder 0
        Put16(files, (45 << 9) | (6 << 5) | 1);         // 2025-06-01
        Put16(files, (12 << 11));                       // 12:00:00
        Put16(files, 0x20);                             // archive
        files += m.name;
        files += '\0';
        offset += static_cast<std::uint32_t>(m.data.size());
    }

    const std::uint32_t headerSize = 36;
    const std::uint32_t folderSize = 8;
    const std::uint32_t filesAt = headerSize + folderSize;
    const std::uint32_t dataAt = filesAt + static_cast<std::uint32_t>(files.size());
    std::size_t total = dataAt;
    for (const auto& b : blocks) total += b.size();

    std::string cab = "MSCF";
    Put32(cab, 0);
    Put32(cab, static_cast<std::uint32_t>(total));
    Put32(cab, 0);
    Put32(cab, filesAt);
    Put32(cab, 0);
    cab += static_cast<char>(3);  // version 1.3
    cab += static_cast<char>(1);
    Put16(cab, 1);                                           // folders
    Put16(cab, static_cast<std::uint16_t>(members.size()));  // files
    Put16(cab, 0);                                           // flags
    Put16(cab, 0x1234);                                      // set id
    Put16(cab, 0);                                           // cabinet index
    Put32(cab, dataAt);
    Put16(cab, static_cast<std::uint16_t>(blocks.size()));
    Put16(cab, static_cast<std::uint16_t>(method));
    cab += files;
    for (const auto& b : blocks) cab += b;
    return cab;
}

std::wstring WriteCabinet(const std::wstring& path, const std::string& bytes) {
    EXPECT_TRUE(TVSP::WriteWholeFile(path, bytes.data(), bytes.size())) << WideToUtf8(path);
    return path;
}

std::vector<std::wstring> Names(const CCabExtrator& cab) {
    std::vector<std::wstring> names{L"sentinel"};
    cab.CopyExtractedNames(names);
    return names;
}

class CabExtraction : public ::testing::TestWithParam<Method> {};

TEST_P(CabExtraction, NestedFoldersAreRecreated) {
    TempFolder folder(L"cab-nested");
    const std::string big(70000, 'B');  // spans three data blocks
    const auto cabPath = WriteCabinet(folder / L"files.cab",
                                      BuildCabinet({{"tarvosprout.exe", "exe"},
                                                    {"win7_64\\usbser.sys", "sys64"},
                                                    {"driver\\Win7\\usb2ser_Win7.inf", "inf"},
                                                    {"driver\\big.bin", big}},
                                                   GetParam()));
    const std::wstring dest = folder / L"out";
    ASSERT_TRUE(::CreateDirectoryW(dest.c_str(), nullptr));

    CCabExtrator cab;
    EXPECT_EQ(cab.Extract(cabPath.c_str(), dest.c_str()), S_OK);
    EXPECT_EQ(ReadAll(dest + L"\\tarvosprout.exe"), "exe");
    EXPECT_EQ(ReadAll(dest + L"\\win7_64\\usbser.sys"), "sys64");
    EXPECT_EQ(ReadAll(dest + L"\\driver\\Win7\\usb2ser_Win7.inf"), "inf");
    EXPECT_TRUE(ReadAll(dest + L"\\driver\\big.bin") == big);
    EXPECT_EQ(Names(cab), (std::vector<std::wstring>{L"sentinel", L"tarvosprout.exe", L"win7_64\\usbser.sys",
                                                     L"driver\\Win7\\usb2ser_Win7.inf", L"driver\\big.bin"}));
    EXPECT_EQ(cab.LastExtractedPath(), dest + L"\\driver\\big.bin");
}

INSTANTIATE_TEST_SUITE_P(Methods, CabExtraction, ::testing::Values(Method::None, Method::MsZip));

TEST(CabExtractor, OverwritesInPlaceAndAccumulatesNames) {
    TempFolder folder(L"cab-again");
    const std::wstring dest = folder / L"out";
    ASSERT_TRUE(::CreateDirectoryW(dest.c_str(), nullptr));
    const auto first = WriteCabinet(folder / L"1.cab", BuildCabinet({{"a.txt", "first-and-longer"}, {"d\\b.txt", "b1"}}));
    const auto second = WriteCabinet(folder / L"2.cab", BuildCabinet({{"a.txt", "second"}, {"c.txt", "c"}}));

    CCabExtrator cab;
    ASSERT_EQ(cab.Extract(first.c_str(), dest.c_str()), S_OK);
    ASSERT_EQ(cab.Extract(second.c_str(), dest.c_str()), S_OK);
    EXPECT_EQ(ReadAll(dest + L"\\a.txt"), "second");
    EXPECT_EQ(ReadAll(dest + L"\\d\\b.txt"), "b1");
    EXPECT_EQ(ReadAll(dest + L"\\c.txt"), "c");
    EXPECT_EQ(Names(cab), (std::vector<std::wstring>{L"sentinel", L"a.txt", L"d\\b.txt", L"a.txt", L"c.txt"}));
    EXPECT_EQ(cab.LastExtractedPath(), dest + L"\\c.txt");
}

// Targets of 259 characters are used whole; longer ones are cut to 259.
TEST(CabExtractor, LongTargetsAreCutTo259Characters) {
    TempFolder folder(L"cab-long");
    const std::size_t nameLength = 200;
    const std::size_t destLength = 259 - 1 - nameLength;  // dest + "\" + name = 259
    ASSERT_LT(folder.path().size() + 2, destLength);
    const std::wstring dest = folder.path() + L"\\" + std::wstring(destLength - folder.path().size() - 1, L'p');
    ASSERT_EQ(dest.size(), destLength);
    ASSERT_TRUE(::CreateDirectoryW(dest.c_str(), nullptr));

    const std::string n259(nameLength, 'a');
    const std::string n260 = std::string(nameLength, 'b') + "X";
    const std::string n261 = std::string(nameLength, 'c') + "YZ";
    const auto cabPath = WriteCabinet(folder / L"long.cab",
                                      BuildCabinet({{n259, "259"}, {n260, "260"}, {n261, "261"}}));
    CCabExtrator cab;
    EXPECT_EQ(cab.Extract(cabPath.c_str(), dest.c_str()), S_OK);
    const std::wstring base = dest + L"\\";
    EXPECT_EQ(ReadAll(base + std::wstring(nameLength, L'a')), "259");
    EXPECT_EQ(ReadAll(base + std::wstring(nameLength, L'b')), "260");
    EXPECT_EQ(ReadAll(base + std::wstring(nameLength, L'c')), "261");
    EXPECT_FALSE(Exists(base + std::wstring(nameLength, L'b') + L"X"));
    EXPECT_EQ(cab.LastExtractedPath(), base + std::wstring(nameLength, L'c'));
    // The list keeps the names as stored, not as cut.
    const auto names = Names(cab);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[2], TVSP::AnsiToWide(n260));
    EXPECT_EQ(names[3], TVSP::AnsiToWide(n261));
}

TEST(CabExtractor, MissingOrCorruptCabinetGivesTheLastError) {
    TempFolder folder(L"cab-bad");
    const std::wstring dest = folder / L"out";
    ASSERT_TRUE(::CreateDirectoryW(dest.c_str(), nullptr));
    CCabExtrator cab;

    EXPECT_EQ(cab.Extract((folder / L"missing.cab").c_str(), dest.c_str()),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

    // The iterator fails on these leaving last error 0, which must still come back as a failure.
    const auto garbage = WriteCabinet(folder / L"garbage.cab", std::string(512, 'G'));
    ::SetLastError(0xdeadbeef);
    EXPECT_EQ(cab.Extract(garbage.c_str(), dest.c_str()), E_FAIL);
    const auto headerOnly = WriteCabinet(folder / L"header.cab", BuildCabinet({{"h.txt", "h"}}).substr(0, 40));
    EXPECT_EQ(cab.Extract(headerOnly.c_str(), dest.c_str()), E_FAIL);

    // A good header whose data stops half-way: the first file may already be out, nothing is
    // rolled back, and the failure is reported.
    std::string cut = BuildCabinet({{"one.txt", std::string(100, '1')}, {"two.txt", std::string(40000, '2')}});
    cut.resize(cut.size() - 20000);
    const auto truncated = WriteCabinet(folder / L"truncated.cab", cut);
    const HRESULT hr = cab.Extract(truncated.c_str(), dest.c_str());
    EXPECT_EQ(hr, E_FAIL) << std::hex << hr;
    EXPECT_FALSE(ReadAll(dest + L"\\two.txt") == std::string(40000, '2'));
    EXPECT_EQ(Names(cab), (std::vector<std::wstring>{L"sentinel", L"one.txt"}));
}

TEST(CabExtractor, DestinationThatCannotBeWrittenFails) {
    TempFolder folder(L"cab-nodest");
    const auto cabPath = WriteCabinet(folder / L"a.cab", BuildCabinet({{"a.txt", "a"}}));
    CCabExtrator cab;
    const HRESULT hr = cab.Extract(cabPath.c_str(), (folder / L"no\\such\\folder").c_str());
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
}

// Names that would land outside the destination are skipped and make the extraction fail; the
// other members are still extracted.
TEST(CabExtractor, MembersEscapingTheDestinationAreRefused) {
    TempFolder folder(L"cab-escape");
    const std::wstring dest = folder / L"out\\inner";
    ASSERT_TRUE(::CreateDirectoryW((folder / L"out").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(dest.c_str(), nullptr));
    const std::string absolute = WideToUtf8(folder / L"abs.txt");  // "C:\...\abs.txt"
    const std::string rootedTag = "tvsp-cab-rooted-" + std::to_string(::GetCurrentProcessId()) + ".txt";
    const std::string driveTag = "tvsp-cab-drive-" + std::to_string(::GetCurrentProcessId()) + ".txt";

    const auto cabPath = WriteCabinet(folder / L"evil.cab",
                                      BuildCabinet({{"good1.txt", "g1"},
                                                    {"..\\up.txt", "up"},
                                                    {"sub\\..\\..\\..\\up2.txt", "up2"},
                                                    {absolute, "abs"},
                                                    {"\\" + rootedTag, "rooted"},
                                                    {"C:" + driveTag, "drive"},
                                                    {"sub\\good2.txt", "g2"}}));
    CCabExtrator cab;
    EXPECT_EQ(cab.Extract(cabPath.c_str(), dest.c_str()), HRESULT_FROM_WIN32(ERROR_INVALID_NAME));
    EXPECT_EQ(ReadAll(dest + L"\\good1.txt"), "g1");
    EXPECT_EQ(ReadAll(dest + L"\\sub\\good2.txt"), "g2");
    EXPECT_FALSE(Exists(folder / L"out\\up.txt"));
    EXPECT_FALSE(Exists(folder / L"up2.txt"));
    EXPECT_FALSE(Exists(folder / L"abs.txt"));
    EXPECT_FALSE(Exists(L"C:\\" + TVSP::AnsiToWide(rootedTag)));
    EXPECT_FALSE(Exists(L"C:\\" + TVSP::AnsiToWide(driveTag)));
    EXPECT_FALSE(Exists(dest + L"\\" + TVSP::AnsiToWide(rootedTag)));
    EXPECT_EQ(Names(cab), (std::vector<std::wstring>{L"sentinel", L"good1.txt", L"sub\\good2.txt"}));
    EXPECT_EQ(cab.LastExtractedPath(), dest + L"\\sub\\good2.txt");

    // The refusal belongs to that extraction only: a clean cabinet afterwards succeeds.
    const auto clean = WriteCabinet(folder / L"clean.cab", BuildCabinet({{"ok.txt", "ok"}}));
    EXPECT_EQ(cab.Extract(clean.c_str(), dest.c_str()), S_OK);
}

// The iterator reaches the handler through the object's virtual slot, with every event.
class CountingExtractor : public CCabExtrator {
public:
    UINT OnCabinetNotification(UINT notification, UINT_PTR param1, UINT_PTR param2) override {
        if (notification == SPFILENOTIFY_FILEINCABINET) ++filesOffered;
        if (notification == SPFILENOTIFY_FILEEXTRACTED) ++filesExtracted;
        return CCabExtrator::OnCabinetNotification(notification, param1, param2);
    }
    int filesOffered = 0;
    int filesExtracted = 0;
};

TEST(CabExtractor, NotificationsGoThroughTheVirtualHandler) {
    TempFolder folder(L"cab-virtual");
    const auto cabPath = WriteCabinet(folder / L"v.cab", BuildCabinet({{"x.txt", "x"}, {"y\\z.txt", "z"}}));
    CountingExtractor cab;
    EXPECT_EQ(cab.Extract(cabPath.c_str(), folder.path().c_str()), S_OK);
    EXPECT_EQ(cab.filesOffered, 2);
    EXPECT_EQ(cab.filesExtracted, 2);

    // Other events, and a file event without its record, change nothing and let it go on.
    CCabExtrator plain;
    EXPECT_EQ(plain.OnCabinetNotification(SPFILENOTIFY_FILEINCABINET, 0, 0), static_cast<UINT>(NO_ERROR));
    EXPECT_EQ(plain.OnCabinetNotification(SPFILENOTIFY_NEEDNEWCABINET, 1, 1), static_cast<UINT>(NO_ERROR));
    EXPECT_EQ(plain.OnCabinetNotification(SPFILENOTIFY_FILEEXTRACTED, 1, 0), static_cast<UINT>(NO_ERROR));
    EXPECT_EQ(Names(plain), std::vector<std::wstring>{L"sentinel"});
    EXPECT_EQ(plain.Reserved(L"anything"), 0);
}

}  // namespace
