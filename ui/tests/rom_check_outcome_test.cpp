// Tests of the main window's judgement of the ROM check's answer, as a table.
#include <gtest/gtest.h>

#include "ui/rom_check_outcome.h"

namespace TVSP {
namespace {

TEST(DecideRomCheck, Table) {
    const std::string key = "watchk7_mt60d_ublox";
    const std::string entry = R"({"watchk7_mt60d_ublox":{"version":"1.5.0"}})";
    struct Row {
        const char* name;
        int kind;
        std::string body;
        const char* known;
        bool hasEntry;
        bool fail;
        bool show;
    };
    const Row rows[] = {
        {"entry for the model", UpdateEvent::Succeeded, entry, "", true, false, true},
        {"entry with an empty version", UpdateEvent::Succeeded, R"({"watchk7_mt60d_ublox":{"url":"http://h/x"}})",
         "1.0", true, true, false},
        {"no entry, nothing known", UpdateEvent::Succeeded, R"({"watchm2_mt60d_ublox":{"version":"9"}})", "", false,
         true, false},
        {"no entry, an earlier check's version kept", UpdateEvent::Succeeded, "{}", "1.4", false, false, true},
        {"not JSON", UpdateEvent::Succeeded, "<html>", "", false, true, false},
        {"request failed", UpdateEvent::Failed, "", "1.4", false, true, false},
        {"progress", UpdateEvent::Progress, "", "", false, false, false},
        {"cancelled", UpdateEvent::Cancelled, "", "", false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UpdateEvent event;
        event.tag = 1;
        event.kind = row.kind;
        event.body = row.body;
        const RomCheckOutcome outcome = DecideRomCheck(event, key, row.known);
        EXPECT_EQ(outcome.entry.has_value(), row.hasEntry);
        EXPECT_EQ(outcome.fail, row.fail);
        EXPECT_EQ(outcome.show, row.show);
    }
}

}  // namespace
}  // namespace TVSP
