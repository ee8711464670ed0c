// Linux-side helpers that change a private Wine prefix: COM ports, removable drives, registry.
#pragma once

#include <cstdint>
#include <string>

namespace tvsp::rig {

// One Wine prefix and the tools that act inside it. Every operation touches only files under
// prefix (and, for drives, the mount folder it is given); errors come back as false + text.
struct PrefixRig {
    std::string prefix;                           // WINEPREFIX
    std::string wine64 = "/usr/lib/wine/wine64";  // loader used for the rig tool and regedit
    std::string rigExe;                           // tvsp-rig.exe (setup-API registration); may be empty

    // dosdevices/comN -> ptyPath (replacing an older link of that name).
    bool MapComPort(int comNumber, const std::string& ptyPath, std::string* error = nullptr) const;
    bool UnmapComPort(int comNumber, std::string* error = nullptr) const;

    // Registers/removes a present Ports-class device USB\VID_0E8D&PID_0003\<serial> with the given
    // hardware id and PortName COMn, through the rig tool under wine64. No-op success when rigExe
    // is empty.
    bool RegisterWatchPort(int comNumber, const std::string& serial,
                           const std::string& hardwareId = "USB\\VID_0E8D&PID_0003",
                           std::string* error = nullptr) const;
    bool UnregisterWatchPort(const std::string& serial, std::string* error = nullptr) const;

    // How a removable drive reaches Wine. With the rig tool: through Wine's mount manager in the
    // running session (tvsp-rig.exe drive-add/drive-remove), which writes the link and the drive
    // type itself; running programs see the drive at once and nothing is restarted. Without it:
    // the link, the registry and a wineserver restart. linkOnlyDrives: the link alone, for a
    // folder that is no real prefix (tests without Wine).
    bool linkOnlyDrives = false;

    // tmpfs of sizeBytes mounted on mountDir, dosdevices/<letter>: -> mountDir, a removable
    // ("floppy") drive. Without the rig tool the prefix's wineserver is restarted so the type
    // takes effect, which ends every Wine process of the prefix: then map drives before starting
    // the program. Undone on failure.
    bool MapRemovableDrive(char letter, std::uint64_t sizeBytes, const std::string& mountDir,
                           std::string* error = nullptr) const;
    bool UnmapRemovableDrive(char letter, const std::string& mountDir, std::string* error = nullptr) const;

    // Ends the prefix's wineserver, and with it every Wine process of the prefix, and waits
    // until it is gone. Success also when none was running.
    bool RestartServer(std::string* error = nullptr) const;

    // Imports .reg text (UTF-8; REGEDIT4 or "Windows Registry Editor Version 5.00") into the prefix.
    bool ImportRegistry(const std::string& regText, std::string* error = nullptr) const;
};

}  // namespace tvsp::rig
