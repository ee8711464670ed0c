// The watch's USB disk on the host: a tmpfs of the chosen size mapped into the prefix as a removable drive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testing/vwatch/control.h"
#include "testing/wine/prefix_rig.h"

namespace tvsp::vwatch {

// Mounts go to <prefix>/.tvsp-vwatch-disk-<pid>, so a daemon that was killed before it could
// unplug leaves a folder that names it, and the next daemon of the prefix can tell it is stale.
class UsbDisk {
public:
    explicit UsbDisk(const rig::PrefixRig& rig) : rig_(rig) {}
    ~UsbDisk();  // unplugs
    UsbDisk(const UsbDisk&) = delete;
    UsbDisk& operator=(const UsbDisk&) = delete;

    bool Plug(char letter, std::uint64_t sizeBytes, std::string* error);
    bool Unplug(std::string* error);
    // Appends `bytes` to a filler file on the disk; on failure the file is left as it was.
    bool Fill(std::uint64_t bytes, std::string* error);
    DiskState state() const { return state_; }

    // Unmaps, unmounts and removes every disk folder in the prefix whose daemon is gone; returns
    // one line per folder, saying what was done.
    static std::vector<std::string> RemoveStale(const rig::PrefixRig& rig);

private:
    const rig::PrefixRig& rig_;
    std::string folder_;  // the mount folder while plugged
    DiskState state_;
};

}  // namespace tvsp::vwatch
