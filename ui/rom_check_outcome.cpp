// What the main window does with the ROM check's answer.
#include "ui/rom_check_outcome.h"

namespace TVSP {

RomCheckOutcome DecideRomCheck(const UpdateEvent& event, const std::string& modelKey, const std::string& knownVersion) {
    RomCheckOutcome outcome;
    if (event.kind == UpdateEvent::Failed) {
        outcome.fail = true;
        return outcome;
    }
    if (event.kind != UpdateEvent::Succeeded) return outcome;
    // A reply without the model's entry leaves what an earlier check found.
    outcome.entry = FindRomCheckEntry(event.body, modelKey);
    const std::string& version = outcome.entry ? outcome.entry->version : knownVersion;
    outcome.fail = version.empty();
    outcome.show = !outcome.fail;
    return outcome;
}

}  // namespace TVSP
