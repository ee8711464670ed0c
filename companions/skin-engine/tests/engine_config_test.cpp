// UiFeature.xml: defaults, overrides and refusals of the engine configuration.
#include <gtest/gtest.h>

#include "companions/skin-engine/core/engine_config.h"

namespace uifeature {
namespace {

TEST(EngineConfig, DefaultsWhenEmptyAndOverridesWhenGiven) {
    EngineConfig c;
    std::string error;
    ASSERT_TRUE(ParseEngineConfig("<uifeature/>", &c, &error)) << error;
    EXPECT_EQ(c.fontFaces.front(), "Microsoft YaHei");
    EXPECT_EQ(c.controlLibrary, "UiFeatureNormalControl.dll");
    EXPECT_TRUE(c.animations);

    ASSERT_TRUE(ParseEngineConfig(R"(<uifeature>
        <font face="SimHei" fallback=" Tahoma ; ;Arial"/>
        <library controls="Other.dll" effects="Fx.dll"/>
        <animation enabled="false"/>
      </uifeature>)", &c, &error)) << error;
    EXPECT_EQ(c.fontFaces, (std::vector<std::string>{"SimHei", "Tahoma", "Arial"}));
    EXPECT_EQ(c.controlLibrary, "Other.dll");
    EXPECT_EQ(c.effectLibrary, "Fx.dll");
    EXPECT_FALSE(c.animations);
}

TEST(EngineConfig, RefusesBadFilesAndKeepsTheOldValues) {
    struct Row {
        const char* text;
        const char* error;
    };
    const Row rows[] = {
        {"<config/>", "line 1: the root element must be <uifeature>"},
        {"<uifeature>\n<library controls='..\\evil.dll'/></uifeature>", "line 2: 'controls' must name a DLL file beside the engine"},
        {"<uifeature><library effects='C:/x/fx.dll'/></uifeature>", "line 1: 'effects' must name a DLL file beside the engine"},
        {"<uifeature><library effects='fx.exe'/></uifeature>", "line 1: 'effects' must name a DLL file beside the engine"},
        {"<uifeature><animation enabled='yes'/></uifeature>", "line 1: bad value for 'enabled'"},
        {"<uifeature><font face=' ; '/></uifeature>", "line 1: empty font face list"},
        {"<uifeature><font size='9'/></uifeature>", "line 1: unknown setting 'font size'"},
        {"<uifeature><theme/></uifeature>", "line 1: unknown element 'theme'"},
        {"<uifeature>", "line 1: missing end tag"},
    };
    for (const Row& row : rows) {
        EngineConfig c;
        c.controlLibrary = "Sentinel.dll";
        std::string error;
        EXPECT_FALSE(ParseEngineConfig(row.text, &c, &error)) << row.text;
        EXPECT_EQ(error, row.error) << row.text;
        EXPECT_EQ(c.controlLibrary, "Sentinel.dll") << row.text;
    }
}

}  // namespace
}  // namespace uifeature
