// The connection guide's decisions: which model a checked radio box names and what to tell the
// user, how the model pages look, and which buttons a repair failure leaves.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace TVSP {

// The nine model radio boxes, in the order the choice is resolved (the first checked one wins).
inline constexpr std::array<const char*, 9> kGuideModelRadios = {
    "genb_radio", "genb_theme", "diaozhui", "genc_radio", "genc_adv", "genold_radio", "gencs_radio", "wn3_radio",
    "lite_radio"};

struct GuideModelChoice {
    enum class Kind {
        Model,        // a model to flash: modelKey and instruction are set
        OtherWay,     // a model the guide cannot bring into download mode: a box, the page stays
        NothingChosen  // a box, the page stays
    };
    Kind kind = Kind::NothingChosen;
    std::string modelKey;
    const wchar_t* instruction = nullptr;  // into "pressdownkey" (Model)
    const wchar_t* message = nullptr;      // the box's text (OtherWay, NothingChosen)
};

// checked[i] is the state of kGuideModelRadios[i].
GuideModelChoice ResolveGuideModelChoice(const std::array<bool, 9>& checked);

// The model pages: index 0..2; any other index changes no page control.
struct GuidePageView {
    bool prevEnabled = false;
    bool nextEnabled = false;
    std::array<bool, 3> pageShown{};  // "page1", "page2", "page3"
};
inline constexpr int kGuideModelPages = 3;
std::optional<GuidePageView> ComputeGuidePageView(int pageIndex);

// After the failureCount-th failed repair: whether "repairagain" and "gotoforum" are shown; from
// the third failure on the buttons stay as they were (nullopt).
struct RepairFailureButtons {
    bool repairAgainShown = false;
    bool goToForumShown = false;
};
std::optional<RepairFailureButtons> ComputeRepairFailureButtons(int failureCount);

// The diagnostic "test" button steps the repair picture through these states.
inline constexpr int kRepairPictureLastTestState = 81;
// The repair picture's state while a repair runs (timer 1000).
inline constexpr int kRepairPictureBusyState = 2;

}  // namespace TVSP
