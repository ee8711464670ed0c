// The watch's USB disk on the host: a tmpfs of the chosen size mapped into the prefix as a removable drive.
#include "testing/vwatch/usb_disk.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tvsp::vwatch {

namespace {

namespace fs = std::filesystem;

constexpr char kFolderStem[] = ".tvsp-vwatch-disk-";
constexpr char kFillerName[] = "filler.bin";

bool Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

bool IsMountPoint(const std::string& dir) {
    struct stat self {}, parent {};
    if (::stat(dir.c_str(), &self) != 0 || ::stat((dir + "/..").c_str(), &parent) != 0) return false;
    return self.st_dev != parent.st_dev;
}

// The pid a disk folder's name carries; 0 when the name is not one of ours.
pid_t FolderPid(const std::string& name) {
    if (name.rfind(kFolderStem, 0) != 0) return 0;
    const std::string digits = name.substr(sizeof kFolderStem - 1);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    return static_cast<pid_t>(std::stol(digits));
}

// The drive letter whose dosdevices link leads to folder; 0 when none does.
char LetterLinkedTo(const std::string& prefix, const std::string& folder) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(prefix + "/dosdevices", ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() != 2 || name[1] != ':' || !e.is_symlink(ec)) continue;
        if (fs::read_symlink(e.path(), ec).string() == folder) return name[0];
    }
    return 0;
}

}  // namespace

UsbDisk::~UsbDisk() { Unplug(nullptr); }

bool UsbDisk::Plug(char letter, std::uint64_t sizeBytes, std::string* error) {
    if (rig_.prefix.empty()) return Fail(error, "no --prefix to plug the disk into");
    if (state_.plugged && !Unplug(error)) return false;
    const std::string folder = rig_.prefix + "/" + kFolderStem + std::to_string(::getpid());
    if (!rig_.MapRemovableDrive(letter, sizeBytes, folder, error)) {
        ::rmdir(folder.c_str());
        return false;
    }
    folder_ = folder;
    state_ = {true, letter, sizeBytes};
    return true;
}

bool UsbDisk::Unplug(std::string* error) {
    if (!state_.plugged) return true;
    std::string failure;
    const bool unmapped = rig_.UnmapRemovableDrive(state_.letter, folder_, &failure);
    // Still mounted (the unmount failed even detached): keep the state, so unplugging again retries.
    if (IsMountPoint(folder_)) return Fail(error, failure.empty() ? folder_ + " is still mounted" : failure);
    ::rmdir(folder_.c_str());
    folder_.clear();
    state_ = {};
    return unmapped ? true : Fail(error, failure);
}

bool UsbDisk::Fill(std::uint64_t bytes, std::string* error) {
    if (!state_.plugged) return Fail(error, "no disk plugged");
    const std::string path = folder_ + "/" + kFillerName;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(error, "open " + path + ": " + std::strerror(errno));
    struct stat st {};
    ::fstat(fd, &st);
    static const char zeros[65536] = {};
    std::uint64_t left = bytes;
    while (left > 0) {
        const ssize_t n = ::write(fd, zeros, left < sizeof zeros ? static_cast<std::size_t>(left) : sizeof zeros);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string reason = n < 0 ? std::strerror(errno) : "nothing written";
            // A fill that does not fit changes nothing, so the test knows the free space it has.
            if (::ftruncate(fd, st.st_size) != 0) {
                // Nothing better to do: the reply already says the fill failed.
            }
            ::close(fd);
            return Fail(error, "filling " + std::to_string(bytes) + " bytes: " + reason);
        }
        left -= static_cast<std::uint64_t>(n);
    }
    ::close(fd);
    return true;
}

std::vector<std::string> UsbDisk::RemoveStale(const rig::PrefixRig& rig) {
    std::vector<std::string> stale;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(rig.prefix, ec)) {
        const pid_t pid = FolderPid(e.path().filename().string());
        if (pid <= 0 || pid == ::getpid()) continue;
        // Its daemon still runs: not stale (another virtual watch on the same prefix).
        if (::kill(pid, 0) == 0 || errno == EPERM) continue;
        stale.push_back(e.path().string());
    }
    std::vector<std::string> done;
    for (const std::string& folder : stale) {
        std::string what = folder + ":";
        if (const char letter = LetterLinkedTo(rig.prefix, folder)) {
            std::string failure;
            what += rig.UnmapRemovableDrive(letter, folder, &failure)
                        ? std::string(" drive ") + letter + ": unmapped"
                        : std::string(" unmapping drive ") + letter + ": failed: " + failure;
        }
        if (IsMountPoint(folder)) {
            what += ::umount2(folder.c_str(), MNT_DETACH) == 0 ? " unmounted" : std::string(" umount: ") + std::strerror(errno);
        }
        what += ::rmdir(folder.c_str()) == 0 ? " removed" : std::string(" rmdir: ") + std::strerror(errno);
        done.push_back(what);
    }
    return done;
}

}  // namespace tvsp::vwatch
