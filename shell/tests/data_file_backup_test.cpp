// Backup name of the data file: UTC date, hour shifted by 8, no leading zeros.
#include <gtest/gtest.h>

#include "shell/data_file_backup.h"

using TVSP::DataFileBackupName;
using TVSP::UtcDateTime;

TEST(DataFileBackupName, ShiftsOnlyTheHour) {
    const struct {
        UtcDateTime now;
        const wchar_t* expected;
    } rows[] = {
        {{2026, 5, 3, 23, 0, 0}, L"C:\\T\\sproutdata-2026-5-3-7-0-0.ini"},  // date stays the UTC day
        {{2026, 5, 3, 15, 59, 59}, L"C:\\T\\sproutdata-2026-5-3-23-59-59.ini"},
        {{2026, 5, 3, 16, 0, 1}, L"C:\\T\\sproutdata-2026-5-3-0-0-1.ini"},
        {{2026, 12, 31, 0, 5, 9}, L"C:\\T\\sproutdata-2026-12-31-8-5-9.ini"},
    };
    for (const auto& row : rows) EXPECT_EQ(DataFileBackupName(L"C:\\T", row.now), row.expected);
}
