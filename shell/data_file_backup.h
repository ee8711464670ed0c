// Name under which the data file is kept when an applied update cannot delete it.
#pragma once

#include <string>
#include <string_view>

namespace TVSP {

struct UtcDateTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// "<folder>\sproutdata-Y-M-D-h-m-s.ini" without leading zeros. The date stays the UTC date and only
// the hour is shifted to Beijing time ((hour + 8) mod 24): installed copies already name their
// backups this way, so the rule is kept as it is.
std::wstring DataFileBackupName(std::wstring_view programFolder, const UtcDateTime& now);

}  // namespace TVSP
