// Name under which the data file is kept when an applied update cannot delete it.
#include "shell/data_file_backup.h"

#include <cwchar>

namespace TVSP {

std::wstring DataFileBackupName(std::wstring_view programFolder, const UtcDateTime& now) {
    wchar_t name[96];
    std::swprintf(name, 96, L"\\sproutdata-%d-%d-%d-%d-%d-%d.ini", now.year, now.month, now.day,
                  (now.hour + 8) % 24, now.minute, now.second);
    return std::wstring(programFolder) + name;
}

}  // namespace TVSP
