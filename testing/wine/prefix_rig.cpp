// Linux-side helpers that change a private Wine prefix: COM ports, removable drives, registry.
#include "testing/wine/prefix_rig.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace tvsp::rig {
namespace {

// A first wine64 start in a prefix boots its services; a few seconds, never minutes.
constexpr int kWineTimeoutSeconds = 120;

bool Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

bool FailErrno(std::string* error, const std::string& what) { return Fail(error, what + ": " + std::strerror(errno)); }

std::string DosDevice(const std::string& prefix, const std::string& name) { return prefix + "/dosdevices/" + name; }

std::string ComDeviceName(int comNumber) { return "com" + std::to_string(comNumber); }

bool ValidComNumber(int comNumber) { return comNumber >= 1 && comNumber <= 256; }

// c: holds the prefix's Windows and z: the path to every Linux file the tests run: neither may
// become a test drive.
bool ValidDriveLetter(char letter) { return letter >= 'a' && letter <= 'z' && letter != 'c' && letter != 'z'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whatever sits at path (a link or a file, never a folder) is replaced by a link to target.
bool ReplaceLink(const std::string& path, const std::string& target, std::string* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Fail(error, path + " is a folder; left alone");
        if (::unlink(path.c_str()) != 0) return FailErrno(error, "unlink " + path);
    } else if (errno != ENOENT) {
        return FailErrno(error, "lstat " + path);
    }
    if (::symlink(target.c_str(), path.c_str()) != 0) return FailErrno(error, "symlink " + path);
    return true;
}

// Removes the link at path; nothing there is success, anything but a link is left alone.
bool RemoveLink(const std::string& path, std::string* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? true : FailErrno(error, "lstat " + path);
    if (!S_ISLNK(st.st_mode)) return Fail(error, path + " is not a link; left alone");
    if (::unlink(path.c_str()) != 0) return FailErrno(error, "unlink " + path);
    return true;
}

// The target of the link at path; empty when there is none.
std::string ReadLink(const std::string& path) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    return n > 0 && static_cast<std::size_t>(n) < sizeof target ? std::string(target, static_cast<std::size_t>(n))
                                                                 : std::string();
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// Runs argv with the prefix set in its environment and waits for it (time limit: seconds).
// Output (stdout and stderr together) is collected for error messages. Wine's background
// processes inherit the pipe, so the end is the child's exit, not the pipe's end.
bool Run(const std::string& prefix, const std::vector<std::string>& argv, int seconds, std::string* output,
         std::string* error) {
    std::vector<std::string> env;
    bool haveDebug = false;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("WINEPREFIX=", 0) == 0) continue;
        haveDebug = haveDebug || entry.rfind("WINEDEBUG=", 0) == 0;
        env.push_back(entry);
    }
    env.push_back("WINEPREFIX=" + prefix);
    if (!haveDebug) env.push_back("WINEDEBUG=-all");

    std::vector<char*> argvp;
    for (const auto& a : argv) argvp.push_back(const_cast<char*>(a.c_str()));
    argvp.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return FailErrno(error, "pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argvp[0], &actions, nullptr, argvp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        errno = spawned;
        return FailErrno(error, "cannot start " + argv[0]);
    }
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);

    std::string collected;
    auto drain = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) collected.append(buffer, static_cast<size_t>(n));
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    bool exited = false;
    while (!exited) {
        pollfd p{fds[0], POLLIN, 0};
        ::poll(&p, 1, 100);
        drain();
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            exited = true;
        } else if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            drain();
            ::close(fds[0]);
            return Fail(error, argv[0] + " did not finish within " + std::to_string(seconds) + " s");
        }
    }
    drain();
    ::close(fds[0]);
    if (output) *output = collected;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string what = argv.size() > 1 ? argv[0] + " " + argv[1] : argv[0];
        return Fail(error, what + " failed (status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                               "): " + Trimmed(collected));
    }
    return true;
}

std::string WineServer(const std::string& wine64) {
    const auto slash = wine64.find_last_of('/');
    return (slash == std::string::npos ? std::string() : wine64.substr(0, slash + 1)) + "wineserver";
}

// UTF-8 to UTF-16LE with a byte-order mark: regedit then reads names in any script whatever the
// ANSI code page is. Malformed UTF-8 fails.
bool ToUtf16File(const std::string& text, std::string* out) {
    out->assign("\xff\xfe", 2);
    auto put = [&](unsigned unit) {
        out->push_back(static_cast<char>(unit & 0xff));
        out->push_back(static_cast<char>(unit >> 8));
    };
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        unsigned cp = 0;
        size_t len = 0;
        if (b < 0x80) {
            cp = b, len = 1;
        } else if ((b & 0xe0) == 0xc0) {
            cp = b & 0x1fu, len = 2;
        } else if ((b & 0xf0) == 0xe0) {
            cp = b & 0x0fu, len = 3;
        } else if ((b & 0xf8) == 0xf0) {
            cp = b & 0x07u, len = 4;
        } else {
            return false;
        }
        if (i + len > text.size()) return false;
        for (size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3fu);
        }
        static constexpr unsigned kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
        if (cp >= 0x10000) {
            put(0xd800 + ((cp - 0x10000) >> 10));
            put(0xdc00 + ((cp - 0x10000) & 0x3ff));
        } else {
            put(cp);
        }
        i += len;
    }
    return true;
}

bool IsMountPoint(const std::string& dir) {
    struct stat self {}, parent {};
    if (::stat(dir.c_str(), &self) != 0 || ::stat((dir + "/..").c_str(), &parent) != 0) return false;
    return self.st_dev != parent.st_dev;
}

}  // namespace

// Ends the prefix's wineserver (status 1 only means none was running) and waits until it is
// gone, so that the next Wine process starts a fresh one.
bool PrefixRig::RestartServer(std::string* error) const {
    const std::string server = WineServer(wine64);
    std::string ignored;
    Run(prefix, {server, "-k"}, 30, nullptr, &ignored);
    std::string failure;
    if (!Run(prefix, {server, "-w"}, 30, nullptr, &failure)) return Fail(error, "wineserver -w: " + failure);
    return true;
}

bool PrefixRig::MapComPort(int comNumber, const std::string& ptyPath, std::string* error) const {
    if (!ValidComNumber(comNumber)) return Fail(error, "COM number must be 1..256");
    if (ptyPath.empty()) return Fail(error, "no pty path");
    return ReplaceLink(DosDevice(prefix, ComDeviceName(comNumber)), ptyPath, error);
}

bool PrefixRig::UnmapComPort(int comNumber, std::string* error) const {
    if (!ValidComNumber(comNumber)) return Fail(error, "COM number must be 1..256");
    return RemoveLink(DosDevice(prefix, ComDeviceName(comNumber)), error);
}

bool PrefixRig::RegisterWatchPort(int comNumber, const std::string& serial, const std::string& hardwareId,
                                  std::string* error) const {
    if (!ValidComNumber(comNumber) || comNumber > 255) return Fail(error, "COM number must be 1..255");
    if (serial.empty() || hardwareId.empty()) return Fail(error, "serial and hardware id must be non-empty");
    if (rigExe.empty()) return true;
    return Run(prefix, {wine64, rigExe, "port-add", std::to_string(comNumber), serial, hardwareId},
               kWineTimeoutSeconds, nullptr, error);
}

bool PrefixRig::UnregisterWatchPort(const std::string& serial, std::string* error) const {
    if (serial.empty()) return Fail(error, "serial must be non-empty");
    if (rigExe.empty()) return true;
    return Run(prefix, {wine64, rigExe, "port-remove", serial}, kWineTimeoutSeconds, nullptr, error);
}

bool PrefixRig::MapRemovableDrive(char letter, std::uint64_t sizeBytes, const std::string& mountDir,
                                  std::string* error) const {
    letter = Lower(letter);
    if (!ValidDriveLetter(letter)) return Fail(error, "drive letter must be a..y except c");
    if (sizeBytes == 0) return Fail(error, "size must be above 0");
    if (mountDir.empty() || mountDir[0] != '/') return Fail(error, "mount folder must be an absolute path");
    if (::mkdir(mountDir.c_str(), 0755) != 0 && errno != EEXIST) return FailErrno(error, "mkdir " + mountDir);
    if (IsMountPoint(mountDir)) return Fail(error, mountDir + " is already a mount point");
    const std::string options = "size=" + std::to_string(sizeBytes) + ",mode=0777";
    if (::mount("tmpfs", mountDir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
        return FailErrno(error, "mount tmpfs on " + mountDir);

    const std::string drive(1, letter);
    const std::string link = DosDevice(prefix, drive + ":");
    std::string failure;
    bool mapped = false;
    if (linkOnlyDrives) {
        mapped = ReplaceLink(link, mountDir, &failure);
    } else if (!rigExe.empty()) {
        struct stat st {};
        if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            failure = link + " is not a link; left alone";
        } else {
            mapped = Run(prefix, {wine64, rigExe, "drive-add", drive, mountDir}, kWineTimeoutSeconds, nullptr, &failure);
            if (!mapped) Run(prefix, {wine64, rigExe, "drive-remove", drive}, kWineTimeoutSeconds, nullptr, nullptr);
        }
    } else {
        mapped = ReplaceLink(link, mountDir, &failure) &&
                 ImportRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n\"" + drive +
                                    ":\"=\"floppy\"\n",
                                &failure) &&
                 // The mount manager reads drive types when it starts: only a new wineserver
                 // session sees the drive as removable.
                 RestartServer(&failure);
    }
    if (!mapped) {
        // Undo what was done; the caller gets the first reason.
        if (ReadLink(link) == mountDir) RemoveLink(link, nullptr);
        ::umount2(mountDir.c_str(), MNT_DETACH);
        return Fail(error, failure);
    }
    return true;
}

bool PrefixRig::UnmapRemovableDrive(char letter, const std::string& mountDir, std::string* error) const {
    letter = Lower(letter);
    if (!ValidDriveLetter(letter)) return Fail(error, "drive letter must be a..y except c");
    const std::string drive(1, letter);
    const std::string link = DosDevice(prefix, drive + ":");
    std::string failure;
    // Every step runs even when one fails, so as much as possible is undone.
    bool ok = true;
    auto step = [&](bool done, const std::string& why) {
        if (!done && ok) failure = why;
        ok = ok && done;
    };
    std::string why;
    if (!linkOnlyDrives && !rigExe.empty()) {
        step(Run(prefix, {wine64, rigExe, "drive-remove", drive}, kWineTimeoutSeconds, nullptr, &why), why);
    }
    step(RemoveLink(link, &why), why);
    if (!linkOnlyDrives && rigExe.empty()) {
        step(ImportRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n\"" + drive + ":\"=-\n", &why),
             why);
        step(RestartServer(&why), why);
    }
    if (IsMountPoint(mountDir) && ::umount2(mountDir.c_str(), 0) != 0 && ::umount2(mountDir.c_str(), MNT_DETACH) != 0) {
        step(false, "umount " + mountDir + ": " + std::strerror(errno));
    }
    return ok ? true : Fail(error, failure);
}

bool PrefixRig::ImportRegistry(const std::string& regText, std::string* error) const {
    std::string bytes;
    if (!ToUtf16File(regText, &bytes)) return Fail(error, "registry text is not valid UTF-8");
    // The file is handed to regedit as Z:\...; z: must be the Linux root.
    char target[8] = {};
    if (::readlink(DosDevice(prefix, "z:").c_str(), target, sizeof target - 1) != 1 || target[0] != '/')
        return Fail(error, prefix + "/dosdevices/z: does not lead to /");

    std::string path = prefix + "/.tvsp-import-XXXXXX.reg";
    const int fd = ::mkstemps(path.data(), 4);
    if (fd < 0) return FailErrno(error, "mkstemps in " + prefix);
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        return Fail(error, "cannot write " + path);
    }
    std::string windowsPath = "Z:" + path;
    for (char& c : windowsPath)
        if (c == '/') c = '\\';
    // reg.exe rather than regedit /S: regedit exits 0 even for a missing or unreadable file.
    const bool ok = Run(prefix, {wine64, "reg", "import", windowsPath}, kWineTimeoutSeconds, nullptr, error);
    ::unlink(path.c_str());
    return ok;
}

}  // namespace tvsp::rig
