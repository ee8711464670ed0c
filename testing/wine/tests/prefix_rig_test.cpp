// Prefix helpers: dosdevices links and argument checks on a scratch folder, registry and
// removable drive on a real scratch Wine prefix.
#include "testing/wine/prefix_rig.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using tvsp::rig::PrefixRig;

namespace {

std::string MakeTempDir(const char* stem) {
    std::string path = (fs::temp_directory_path() / (std::string(stem) + "XXXXXX")).string();
    return ::mkdtemp(path.data()) ? path : std::string();
}

std::string LinkTarget(const std::string& path) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec)) ? fs::read_symlink(path, ec).string() : std::string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ScratchPrefix : public ::testing::Test {
protected:
    void SetUp() override {
        rig_.prefix = MakeTempDir("tvsp-rig-test-");
        ASSERT_FALSE(rig_.prefix.empty());
        fs::create_directories(rig_.prefix + "/dosdevices");
    }
    void TearDown() override { fs::remove_all(rig_.prefix); }
    std::string Dev(const std::string& name) const { return rig_.prefix + "/dosdevices/" + name; }
    PrefixRig rig_;
};

TEST_F(ScratchPrefix, ComPortNumbersOneTo256) {
    struct Row {
        int number;
        bool ok;
    };
    for (const Row row : {Row{1, true}, Row{256, true}, Row{0, false}, Row{257, false}, Row{-3, false}}) {
        SCOPED_TRACE(row.number);
        std::string error;
        EXPECT_EQ(rig_.MapComPort(row.number, "/dev/pts/77", &error), row.ok) << error;
        EXPECT_EQ(error.empty(), row.ok);
        EXPECT_EQ(LinkTarget(Dev("com" + std::to_string(row.number))), row.ok ? "/dev/pts/77" : "");
        EXPECT_EQ(rig_.UnmapComPort(row.number), row.ok);
        EXPECT_FALSE(fs::exists(fs::symlink_status(Dev("com" + std::to_string(row.number)))));
    }
}

TEST_F(ScratchPrefix, ComPortRemapReplacesAndUnmapIsIdempotent) {
    ASSERT_TRUE(rig_.MapComPort(5, "/dev/pts/1"));
    ASSERT_TRUE(rig_.MapComPort(5, "/dev/pts/2"));
    EXPECT_EQ(LinkTarget(Dev("com5")), "/dev/pts/2");
    EXPECT_TRUE(rig_.UnmapComPort(5));
    EXPECT_TRUE(rig_.UnmapComPort(5)) << "nothing to remove is success";
    EXPECT_FALSE(rig_.MapComPort(6, ""));
}

// What the rig did not make is never deleted.
TEST_F(ScratchPrefix, ForeignFilesAreLeftAlone) {
    fs::create_directory(Dev("com7"));
    std::string error;
    EXPECT_FALSE(rig_.MapComPort(7, "/dev/pts/3", &error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(Dev("com7")));

    std::ofstream(Dev("com8")) << "x";
    EXPECT_FALSE(rig_.UnmapComPort(8, &error));
    EXPECT_TRUE(fs::is_regular_file(Dev("com8")));
}

TEST_F(ScratchPrefix, WatchPortArgumentsAndNoRigTool) {
    std::string error;
    EXPECT_TRUE(rig_.RegisterWatchPort(5, "SN1", "USB\\VID_0E8D&PID_0003", &error)) << "no rig tool: no-op";
    EXPECT_TRUE(rig_.UnregisterWatchPort("SN1", &error));
    EXPECT_FALSE(rig_.RegisterWatchPort(0, "SN1"));
    EXPECT_FALSE(rig_.RegisterWatchPort(256, "SN1"));
    EXPECT_FALSE(rig_.RegisterWatchPort(5, ""));
    EXPECT_FALSE(rig_.RegisterWatchPort(5, "SN1", ""));
    EXPECT_FALSE(rig_.UnregisterWatchPort(""));
}

TEST_F(ScratchPrefix, RemovableDriveArgumentsRefusedBeforeMounting) {
    const std::string mountDir = rig_.prefix + "/mnt";
    struct Row {
        char letter;
        std::uint64_t size;
        std::string dir;
    };
    for (const Row& row : {Row{'c', 4096, mountDir}, Row{'Z', 4096, mountDir}, Row{'1', 4096, mountDir},
                           Row{'e', 0, mountDir}, Row{'e', 4096, "relative/mnt"}}) {
        SCOPED_TRACE(std::string(1, row.letter) + " " + std::to_string(row.size) + " " + row.dir);
        std::string error;
        EXPECT_FALSE(rig_.MapRemovableDrive(row.letter, row.size, row.dir, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(fs::exists(mountDir));
    }
}

TEST_F(ScratchPrefix, RegistryTextMustBeUtf8) {
    for (const char* bad : {"\x80", "\xc0\xaf", "\xed\xa0\x80", "\xe4\xb8", "\xf4\x90\x80\x80"}) {
        std::string error;
        EXPECT_FALSE(rig_.ImportRegistry(std::string("REGEDIT4\n\"") + bad + "\"=\"x\"\n", &error));
        EXPECT_NE(error.find("UTF-8"), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(rig_.ImportRegistry("REGEDIT4\n", &error)) << "no z: drive in a scratch folder";
    EXPECT_NE(error.find("z:"), std::string::npos) << error;
}

// One real prefix for the cases that need Wine.
class WinePrefix : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (::access("/usr/lib/wine/wine64", X_OK) != 0) return;
        prefix_ = MakeTempDir("tvsp-rig-wine-");
        const std::string env = "WINEPREFIX=" + prefix_ + " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe=d' DISPLAY= ";
        ready_ = std::system((env + "/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 && " + env +
                              "/usr/lib/wine/wineserver -w").c_str()) == 0;
    }
    static void TearDownTestSuite() {
        if (prefix_.empty()) return;
        PrefixRig rig;
        rig.prefix = prefix_;
        rig.RestartServer();
        fs::remove_all(prefix_);
    }
    void SetUp() override {
        if (!ready_) GTEST_SKIP() << "no wine64 prefix could be made";
        rig_.prefix = prefix_;
    }
    static inline std::string prefix_;
    static inline bool ready_ = false;
    PrefixRig rig_;
};

TEST_F(WinePrefix, ImportKeepsChineseNames) {
    ASSERT_TRUE(rig_.ImportRegistry("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\TvspRigTest]\n"
                                    "\"\xe5\xbe\xae\xe8\xbd\xaf\xe9\x9b\x85\xe9\xbb\x91\"=\"WenQuanYi Micro Hei\"\n"));
    ASSERT_TRUE(rig_.RestartServer()) << "flushes the registry files";
    // Wine stores non-ASCII characters of names as \x escapes: 微软雅黑.
    EXPECT_NE(ReadFile(prefix_ + "/user.reg").find("\"\\x5fae\\x8f6f\\x96c5\\x9ed1\"=\"WenQuanYi Micro Hei\""),
              std::string::npos);
}

TEST_F(WinePrefix, ImportOfBrokenTextFails) {
    std::string error;
    EXPECT_FALSE(rig_.ImportRegistry("this is not a registry file\n", &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(WinePrefix, RemovableDriveMountsLinksRegistersAndUndoes) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    const std::string mountDir = prefix_ + "-disk";
    std::string error;
    ASSERT_TRUE(rig_.MapRemovableDrive('E', 12 * 1024 * 1024, mountDir, &error)) << error;
    struct statfs fsInfo {};
    ASSERT_EQ(::statfs(mountDir.c_str(), &fsInfo), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(fsInfo.f_blocks) * fsInfo.f_bsize, 12u * 1024 * 1024);
    EXPECT_EQ(LinkTarget(prefix_ + "/dosdevices/e:"), mountDir);
    EXPECT_NE(ReadFile(prefix_ + "/system.reg").find("\"e:\"=\"floppy\""), std::string::npos);

    EXPECT_FALSE(rig_.MapRemovableDrive('e', 4096, mountDir, &error)) << "already mounted";

    ASSERT_TRUE(rig_.UnmapRemovableDrive('e', mountDir, &error)) << error;
    ASSERT_TRUE(rig_.RestartServer());
    EXPECT_EQ(LinkTarget(prefix_ + "/dosdevices/e:"), "");
    EXPECT_EQ(ReadFile(prefix_ + "/system.reg").find("\"e:\"=\"floppy\""), std::string::npos);
    struct stat self {}, parent {};
    ASSERT_EQ(::stat(mountDir.c_str(), &self), 0);
    ASSERT_EQ(::stat(prefix_.c_str(), &parent), 0);
    EXPECT_EQ(self.st_dev, parent.st_dev) << "tmpfs unmounted";
    fs::remove(mountDir);
}

}  // namespace
