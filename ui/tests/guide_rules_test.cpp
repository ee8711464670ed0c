// The connection guide's decisions: model choice, model pages, repair failures.
#include "ui/guide_rules.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "ui/user_texts.h"

namespace TVSP {
namespace {

std::array<bool, 9> Checked(std::initializer_list<const char*> names) {
    std::array<bool, 9> checked{};
    for (const char* name : names) {
        for (std::size_t i = 0; i < kGuideModelRadios.size(); ++i) {
            if (std::string(kGuideModelRadios[i]) == name) checked[i] = true;
        }
    }
    return checked;
}

TEST(GuideModelChoice, EachRadioBoxNamesItsModelAndInstruction) {
    struct Row {
        const char* radio;
        const char* modelKey;
        const wchar_t* instruction;
    };
    const Row rows[] = {
        {"genb_radio", "watchk7_mt60d_ublox", L"长按设备下键10秒钟，然后点击下一步"},
        {"genb_theme", "watchk7_mt60d_ublox_2", L"长按设备下键10秒钟，然后点击下一步"},
        {"diaozhui", "watchm2_mt60d_ublox", L"长按设备按键10秒钟，然后点击下一步"},
        {"genc_radio", "watchm5_mt60d_ublox", L"长按设备下键20秒钟，然后点击下一步"},
        {"genc_adv", "watchk8_mt60d_ublox", L"拆卸设备后盖并重新安装，然后点击下一步"},
        {"genold_radio", "watchr9_mt60d_ublox", L"拆卸设备后盖并重新安装，然后点击下一步"},
        {"lite_radio", "watcht4_mt2503d_mt3333", L"长按按键15秒后，点击下一步，再短按按键"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.radio);
        const GuideModelChoice choice = ResolveGuideModelChoice(Checked({row.radio}));
        EXPECT_EQ(choice.kind, GuideModelChoice::Kind::Model);
        EXPECT_EQ(choice.modelKey, row.modelKey);
        ASSERT_NE(choice.instruction, nullptr);
        EXPECT_STREQ(choice.instruction, row.instruction);
        EXPECT_EQ(choice.message, nullptr);
    }
}

TEST(GuideModelChoice, ModelsTheGuideCannotHelpAndNoChoiceGiveABoxAndNoModel) {
    for (const char* radio : {"gencs_radio", "wn3_radio"}) {
        SCOPED_TRACE(radio);
        const GuideModelChoice choice = ResolveGuideModelChoice(Checked({radio}));
        EXPECT_EQ(choice.kind, GuideModelChoice::Kind::OtherWay);
        EXPECT_TRUE(choice.modelKey.empty());
        EXPECT_STREQ(choice.message, L"请长按手表下键15秒，再长按下键开机，然后重新连接USB线。");
    }
    const GuideModelChoice none = ResolveGuideModelChoice(Checked({}));
    EXPECT_EQ(none.kind, GuideModelChoice::Kind::NothingChosen);
    EXPECT_TRUE(none.modelKey.empty());
    EXPECT_STREQ(none.message, L"请选择设备型号。");
}

TEST(GuideModelChoice, TheFirstCheckedBoxInTheTablesOrderWins) {
    // Only one box can be checked through the window, but the order is what decides.
    EXPECT_EQ(ResolveGuideModelChoice(Checked({"lite_radio", "genb_theme"})).modelKey, "watchk7_mt60d_ublox_2");
    EXPECT_EQ(ResolveGuideModelChoice(Checked({"genold_radio", "gencs_radio"})).modelKey, "watchr9_mt60d_ublox");
    EXPECT_EQ(ResolveGuideModelChoice(Checked({"wn3_radio", "lite_radio"})).kind, GuideModelChoice::Kind::OtherWay);
}

TEST(GuidePageView, ThreePagesAndNothingOutsideThem) {
    struct Row {
        int index;
        bool prev, next, p1, p2, p3;
    };
    const Row rows[] = {
        {0, false, true, true, false, false},
        {1, true, true, false, true, false},
        {2, true, false, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        const auto view = ComputeGuidePageView(row.index);
        ASSERT_TRUE(view.has_value());
        EXPECT_EQ(view->prevEnabled, row.prev);
        EXPECT_EQ(view->nextEnabled, row.next);
        EXPECT_EQ(view->pageShown, (std::array<bool, 3>{row.p1, row.p2, row.p3}));
    }
    EXPECT_FALSE(ComputeGuidePageView(-1).has_value());
    EXPECT_FALSE(ComputeGuidePageView(3).has_value());
}

TEST(RepairFailureButtons, FirstOffersAnotherTryThenTheForumThenNothingChanges) {
    EXPECT_FALSE(ComputeRepairFailureButtons(0).has_value());
    const auto first = ComputeRepairFailureButtons(1);
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->repairAgainShown);
    EXPECT_FALSE(first->goToForumShown);
    const auto second = ComputeRepairFailureButtons(2);
    ASSERT_TRUE(second.has_value());
    EXPECT_FALSE(second->repairAgainShown);
    EXPECT_TRUE(second->goToForumShown);
    EXPECT_FALSE(ComputeRepairFailureButtons(3).has_value());
    EXPECT_FALSE(ComputeRepairFailureButtons(100).has_value());
}

}  // namespace
}  // namespace TVSP
