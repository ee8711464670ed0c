// Names in the ROM store.
#include "update/rom_store_rules.h"

namespace TVSP {

std::string RomSetName(std::string_view modelKey, std::string_view version) {
    std::string name(modelKey);
    name += '-';
    name += version;
    return name;
}

std::string RomSetFolderName(std::string_view romSetName) {
    std::string folder(romSetName);
    for (char& c : folder) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
                          c == '-' || c == '.' || c == '_';
        if (!kept) c = '_';
    }
    return folder;
}

}  // namespace TVSP
