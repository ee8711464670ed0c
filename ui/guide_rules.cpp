// The connection guide's decisions, kept apart from its window so they are tested natively.
#include "ui/guide_rules.h"

#include "ui/user_texts.h"

namespace TVSP {
namespace {

struct ModelRow {
    const char* modelKey;  // null: the guide cannot help this model
    const wchar_t* instruction;
};

// Rows in the order of kGuideModelRadios.
const ModelRow kModelRows[] = {
    {"watchk7_mt60d_ublox", UiTexts::kHoldLowerKey10s},
    {"watchk7_mt60d_ublox_2", UiTexts::kHoldLowerKey10s},
    {"watchm2_mt60d_ublox", UiTexts::kHoldKey10s},
    {"watchm5_mt60d_ublox", UiTexts::kHoldLowerKey20s},
    {"watchk8_mt60d_ublox", UiTexts::kReseatBackCover},
    {"watchr9_mt60d_ublox", UiTexts::kReseatBackCover},
    {nullptr, nullptr},
    {nullptr, nullptr},
    {"watcht4_mt2503d_mt3333", UiTexts::kHoldKey15sThenPress},
};
static_assert(std::size(kModelRows) == kGuideModelRadios.size());

}  // namespace

GuideModelChoice ResolveGuideModelChoice(const std::array<bool, 9>& checked) {
    GuideModelChoice choice;
    for (std::size_t i = 0; i < checked.size(); ++i) {
        if (!checked[i]) continue;
        if (kModelRows[i].modelKey) {
            choice.kind = GuideModelChoice::Kind::Model;
            choice.modelKey = kModelRows[i].modelKey;
            choice.instruction = kModelRows[i].instruction;
        } else {
            choice.kind = GuideModelChoice::Kind::OtherWay;
            choice.message = UiTexts::kRestartByKeysAndReconnect;
        }
        return choice;
    }
    choice.message = UiTexts::kChooseModel;
    return choice;
}

std::optional<GuidePageView> ComputeGuidePageView(int pageIndex) {
    if (pageIndex < 0 || pageIndex >= kGuideModelPages) return std::nullopt;
    GuidePageView view;
    view.prevEnabled = pageIndex > 0;
    view.nextEnabled = pageIndex < kGuideModelPages - 1;
    view.pageShown[static_cast<std::size_t>(pageIndex)] = true;
    return view;
}

std::optional<RepairFailureButtons> ComputeRepairFailureButtons(int failureCount) {
    if (failureCount == 1) return RepairFailureButtons{true, false};
    if (failureCount == 2) return RepairFailureButtons{false, true};
    return std::nullopt;
}

}  // namespace TVSP
