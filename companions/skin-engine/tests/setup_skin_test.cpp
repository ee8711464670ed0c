// The installer's skin, shipped in its payload: it parses, and holds every control the installer's
// window binds, each of the kind the window expects (the window itself needs Windows).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "companions/skin-engine/core/skin_format.h"

namespace {

// The shipped skin parses and holds every control the window binds, of its kind.
TEST(SetupSkin, ValidWithEveryControlOfItsKind) {
    std::ifstream in(TVSP_SETUP_SKIN, std::ios::binary);
    ASSERT_TRUE(in) << TVSP_SETUP_SKIN;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto skin = uifeature::ParseSkin(text);
    ASSERT_TRUE(skin.ok) << skin.error;
    const uifeature::SkinWindow* window = skin.document.FindSkinWindow("SetupWnd");
    ASSERT_NE(window, nullptr);

    const auto find = [](const auto& self, const std::vector<uifeature::SkinControl>& controls,
                         const std::string& name) -> const uifeature::SkinControl* {
        for (const auto& c : controls) {
            if (c.name == name) return &c;
            if (const auto* found = self(self, c.children, name)) return found;
        }
        return nullptr;
    };
    using K = uifeature::ControlKind;
    const std::pair<const char*, K> table[] = {
        {"Close", K::Button},          {"PreSetupPanel", K::Panel},          {"path_text", K::Static},
        {"edit_path", K::Edit},        {"ChangeDir", K::Button},             {"Setup", K::Button},
        {"Check", K::Check},           {"LicenseAgreement", K::Link},        {"occupy_volume_text", K::Static},
        {"left_volume_text", K::Static}, {"installing_panel", K::Panel},     {"installing_percent", K::Static},
        {"install_progress", K::Progress}, {"install_success", K::Panel},    {"open_right_now", K::Button},
        {"cover_install_panel", K::Panel}, {"cover_install", K::Button},     {"update_now", K::Button},
        {"check_cover", K::Check},     {"license_cover", K::Link},
        // Ours: the success page's title and text also carry the failure.
        {"successtitle", K::Static},   {"successtext", K::Static},           {"failpicture", K::Static},
    };
    for (const auto& [name, kind] : table) {
        const auto* control = find(find, window->controls, name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->kind, kind) << name;
    }
    // Only the folder page shows at first; the licence boxes start ticked.
    for (const char* hidden : {"cover_install_panel", "installing_panel", "install_success"}) {
        EXPECT_EQ(uifeature::AttributeOr(find(find, window->controls, hidden)->attributes, "visible", ""), "false")
            << hidden;
    }
    EXPECT_EQ(uifeature::AttributeOr(find(find, window->controls, "Check")->attributes, "checked", ""), "true");
    EXPECT_EQ(uifeature::AttributeOr(find(find, window->controls, "check_cover")->attributes, "checked", ""), "true");
    EXPECT_EQ(uifeature::AttributeOr(find(find, window->controls, "occupy_volume_text")->attributes, "text", ""),
              "15.4MB");
}

}  // namespace
