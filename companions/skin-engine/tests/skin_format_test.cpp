// Skin reader: XML well-formedness, skin validation with exact error lines, value parsers, effects.
#include <gtest/gtest.h>

#include <string>

#include "companions/skin-engine/core/effect_math.h"
#include "companions/skin-engine/core/skin_format.h"
#include "companions/skin-engine/core/xml_lite.h"

namespace uifeature {
namespace {

TEST(XmlLite, ReadsElementsAttributesAndEntities) {
    const auto r = ParseXml(
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- head -->\n"
        "<a x='1' y=\"&lt;&amp;&gt;&quot;&apos;&#65;&#x4E2D;\">\n"
        "  <b/>text<!-- c --><c z = \"\xE4\xB8\xAD\"></c>\n"
        "</a>\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.root.name, "a");
    ASSERT_EQ(r.root.attributes.size(), 2u);
    EXPECT_EQ(*r.root.Find("y"), "<&>\"'A\xE4\xB8\xAD");
    ASSERT_EQ(r.root.children.size(), 2u);
    EXPECT_EQ(r.root.children[0].name, "b");
    EXPECT_EQ(r.root.children[1].line, 4);
    EXPECT_EQ(*r.root.children[1].Find("z"), "\xE4\xB8\xAD");
    EXPECT_EQ(r.root.Find("nope"), nullptr);
}

TEST(XmlLite, RefusesMalformedInputWithItsLine) {
    struct Row {
        const char* text;
        const char* error;
    };
    const Row rows[] = {
        {"", "line 1: no root element"},
        {"<a>", "line 1: missing end tag"},
        {"<a></b>", "line 1: end tag does not match the start tag"},
        {"<a x='1' x='2'/>", "line 1: duplicate attribute"},
        {"<a x=1/>", "line 1: expected a quoted value"},
        {"<a x='1'y='2'/>", "line 1: expected whitespace between attributes"},
        {"<a x='&bogus;'/>", "line 1: unknown entity"},
        {"<a x='&#0;'/>", "line 1: bad character reference"},
        {"<a x='&#xD800;'/>", "line 1: bad character reference"},
        {"<a x='&#x110000;'/>", "line 1: bad character reference"},
        {"<a>\n\n<!-- open", "line 3: unterminated comment"},
        {"<a/><b/>", "line 1: content after the root element"},
        {"<!DOCTYPE a><a/>", "line 1: document type declarations are not supported"},
        {"<a><![CDATA[x]]></a>", "line 1: CDATA sections are not supported"},
        {"<a x='<'/>", "line 1: '<' inside an attribute value"},
        {"<a>\n\xC0\xAF</a>", "line 2: not valid UTF-8"},        // overlong '/'
        {"<a x='\xED\xA0\x80'/>", "line 1: not valid UTF-8"},     // encoded surrogate
        {"<a x='\xE4\xB8'/>", "line 1: not valid UTF-8"},          // truncated
        {"<1a/>", "line 1: expected a name"},
    };
    for (const Row& row : rows) {
        const auto r = ParseXml(row.text);
        EXPECT_FALSE(r.ok) << row.text;
        EXPECT_EQ(r.error, row.error) << row.text;
        EXPECT_TRUE(r.root.name.empty());
    }
}

TEST(XmlLite, NestingLimitIsExact) {
    auto nested = [](int depth) {
        std::string s;
        for (int i = 0; i < depth; ++i) s += "<a>";
        for (int i = 0; i < depth; ++i) s += "</a>";
        return s;
    };
    EXPECT_TRUE(ParseXml(nested(kXmlMaxDepth - 1)).ok);
    EXPECT_TRUE(ParseXml(nested(kXmlMaxDepth)).ok);
    const auto deep = ParseXml(nested(kXmlMaxDepth + 1));
    EXPECT_FALSE(deep.ok);
    EXPECT_EQ(deep.error, "line 1: elements nested too deeply");
    EXPECT_FALSE(ParseXml(nested(100000)).ok);  // no stack exhaustion
}

TEST(XmlLite, RefusesOversizedInput) {
    std::string big = "<a x='";
    big.append(kXmlMaxInput, 'x');
    big += "'/>";
    const auto r = ParseXml(big);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "line 1: document larger than 4 MiB");
}

TEST(SkinValues, ColoursRectsBoolsInts) {
    uint32_t c = 0x12345678;
    EXPECT_TRUE(ParseColor("#1A2b3C", &c));
    EXPECT_EQ(c, 0xFF1A2B3Cu);
    EXPECT_TRUE(ParseColor("#801A2B3C", &c));
    EXPECT_EQ(c, 0x801A2B3Cu);
    for (const char* bad : {"", "#", "1A2B3C", "#1A2B3", "#1A2B3C4", "#GG0000", "#1A2B3C4D5"}) {
        c = 0xDEADBEEF;
        EXPECT_FALSE(ParseColor(bad, &c)) << bad;
        EXPECT_EQ(c, 0xDEADBEEFu) << bad;  // untouched on failure
    }

    UnitRect r;
    EXPECT_TRUE(ParseRect("10, 20 ,300,40", &r));
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 20);
    EXPECT_EQ(r.w, 300);
    EXPECT_EQ(r.h, 40);
    EXPECT_TRUE(ParseRect("-5,-6,0,0", &r));
    EXPECT_EQ(r.x, -5);
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,2,-3,4", "a,2,3,4", "1,,3,4", "1,2,3,16385", "1;2;3;4"}) {
        EXPECT_FALSE(ParseRect(bad, &r)) << bad;
    }

    bool b = false;
    EXPECT_TRUE(ParseBool("true", &b) && b);
    EXPECT_TRUE(ParseBool("0", &b) && !b);
    EXPECT_FALSE(ParseBool("yes", &b));
    EXPECT_FALSE(ParseBool("TRUE", &b));

    int v = 0;
    EXPECT_TRUE(ParseInt("100", 0, 100, &v));
    EXPECT_EQ(v, 100);
    EXPECT_FALSE(ParseInt("101", 0, 100, &v));
    EXPECT_FALSE(ParseInt("-1", 0, 100, &v));
    EXPECT_TRUE(ParseInt("-1", -1, 100, &v));
    EXPECT_FALSE(ParseInt("1x", 0, 100, &v));
    EXPECT_FALSE(ParseInt("99999999999", 0, 2147483647, &v));
    EXPECT_FALSE(ParseInt("+5", 0, 100, &v));

    EXPECT_TRUE(EqualsNoCase("OneKeyShuajiBtn", "onekeyshuajibtn"));
    EXPECT_FALSE(EqualsNoCase("abc", "abd"));
    EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
    EXPECT_TRUE(IsValidControlName("panel-update"));
    EXPECT_FALSE(IsValidControlName("a b"));
    EXPECT_FALSE(IsValidControlName(std::string(65, 'a')));
    EXPECT_TRUE(IsValidControlName(std::string(64, 'a')));
}

constexpr char kGoodSkin[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<skin version="1">
  <window name="mainWnd" width="600" height="400" caption="演示" caption-height="36" background="#FFFFFF">
    <panel name="TopPanel" rect="0,0,600,48" background="#2B6DE8" drag="true">
      <button name="TB_ClostBtn" rect="560,8,32,32" style="caption-close" picture="close" syscommand="close"/>
    </panel>
    <panel name="page" rect="0,48,600,352">
      <static name="label" rect="20,20,200,24" text="你好" font-size="14" bold="true"/>
      <progress name="progress" rect="20,60,300,8" value="30" effect="smooth"/>
      <radio name="r1" rect="20,80,100,20" group="models" checked="true" text="A"/>
      <check name="Check" rect="20,110,100,20" checked="true"/>
      <edit name="edit_path" rect="20,140,300,30" maxlength="259"/>
      <link name="LicenseAgreement" rect="20,180,100,20" text="许可协议"/>
      <static name="pic" rect="20,200,64,64" picture="watch" states="4" state="1"/>
    </panel>
  </window>
  <window name="connectguide" width="500" height="300"/>
</skin>
)";

TEST(SkinParser, ReadsAValidSkin) {
    const auto r = ParseSkin(kGoodSkin);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.document.windows.size(), 2u);
    const SkinWindow* w = r.document.FindSkinWindow("MAINWND");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->width, 600);
    EXPECT_EQ(w->height, 400);
    EXPECT_EQ(AttributeOr(w->attributes, "caption", ""), "演示");
    ASSERT_EQ(w->controls.size(), 2u);
    EXPECT_EQ(w->controls[0].kind, ControlKind::Panel);
    EXPECT_EQ(w->controls[0].children[0].kind, ControlKind::Button);
    const SkinControl& page = w->controls[1];
    ASSERT_EQ(page.children.size(), 7u);
    EXPECT_EQ(page.children[1].kind, ControlKind::Progress);
    EXPECT_EQ(page.children[1].rect.w, 300);
    EXPECT_EQ(page.children[4].kind, ControlKind::Edit);
    EXPECT_EQ(page.children[5].kind, ControlKind::Link);
    EXPECT_EQ(page.children[6].line, 14);
    EXPECT_EQ(r.document.FindSkinWindow("connectguide")->controls.size(), 0u);
    EXPECT_EQ(r.document.FindSkinWindow("SetupWnd"), nullptr);
}

TEST(SkinParser, RefusesInvalidSkinsNamingLineAndCause) {
    struct Row {
        const char* body;  // inside <skin version="1">...</skin>, starting on line 1
        const char* error;
    };
    const Row rows[] = {
        {"", "line 1: the skin has no window"},
        {"<window name='w' width='10'/>", "line 1: a window needs name, width and height"},
        {"<window name='w' width='0' height='10'/>", "line 1: bad value '0' for 'width'"},
        {"<window name='w' width='8193' height='10'/>", "line 1: bad value '8193' for 'width'"},
        {"<window name='w' width='10' height='10'/>\n<window name='W' width='10' height='10'/>",
         "line 2: second window named 'W'"},
        {"<dialog name='w'/>", "line 1: expected <window>, found 'dialog'"},
        {"<window name='w' width='10' height='10'>\n<slider name='s' rect='0,0,1,1'/></window>",
         "line 2: unknown control kind 'slider'"},
        {"<window name='w' width='10' height='10'>\n<Button name='s' rect='0,0,1,1'/></window>",
         "line 2: unknown control kind 'Button'"},
        {"<window name='w' width='10' height='10'><button rect='0,0,1,1'/></window>",
         "line 1: button without a name"},
        {"<window name='w' width='10' height='10'><button name='b'/></window>",
         "line 1: button 'b' without a rect"},
        {"<window name='w' width='10' height='10'><button name='b' rect='0,0,1'/></window>",
         "line 1: bad value '0,0,1' for 'rect'"},
        {"<window name='w' width='10' height='10'><button name='b c' rect='0,0,1,1'/></window>",
         "line 1: bad value 'b c' for 'name'"},
        {"<window name='w' width='10' height='10'><button name='b' rect='0,0,1,1' colour='#000000'/></window>",
         "line 1: unknown attribute 'colour' on button"},
        {"<window name='w' width='10' height='10'><panel name='p' rect='0,0,1,1' group='g'/></window>",
         "line 1: unknown attribute 'group' on panel"},
        {"<window name='w' width='10' height='10'><static name='s' rect='0,0,1,1' color='red'/></window>",
         "line 1: bad value 'red' for 'color'"},
        {"<window name='w' width='10' height='10'><static name='s' rect='0,0,1,1' picture='dragon'/></window>",
         "line 1: bad value 'dragon' for 'picture'"},
        {"<window name='w' width='10' height='10'><static name='s' rect='0,0,1,1' image='../x.png'/></window>",
         "line 1: bad value '../x.png' for 'image'"},
        {"<window name='w' width='10' height='10'><static name='s' rect='0,0,1,1' image='C:x.png'/></window>",
         "line 1: bad value 'C:x.png' for 'image'"},
        {"<window name='w' width='10' height='10'><static name='s' rect='0,0,1,1' image='/etc/x.png'/></window>",
         "line 1: bad value '/etc/x.png' for 'image'"},
        {"<window name='w' width='10' height='10'><button name='b' rect='0,0,1,1' style='fancy'/></window>",
         "line 1: bad value 'fancy' for 'style'"},
        {"<window name='w' width='10' height='10'><progress name='p' rect='0,0,1,1' max='0'/></window>",
         "line 1: bad value '0' for 'max'"},
        {"<window name='w' width='10' height='10'>\n<button name='b' rect='0,0,1,1'>\n<static name='s' "
         "rect='0,0,1,1'/></button></window>",
         "line 3: a button cannot hold controls"},
        {"<window name='w' width='10' height='10' rect='0,0,1,1'/>", "line 1: unknown attribute 'rect' on window"},
    };
    for (const Row& row : rows) {
        const std::string text = std::string("<skin version='1'>") + row.body + "</skin>";
        const auto r = ParseSkin(text);
        EXPECT_FALSE(r.ok) << row.body;
        EXPECT_EQ(r.error, row.error) << row.body;
        EXPECT_TRUE(r.document.windows.empty()) << row.body;
    }
    EXPECT_EQ(ParseSkin("<skin version='2'><window name='w' width='1' height='1'/></skin>").error,
              "line 1: unsupported skin version '2'");
    EXPECT_EQ(ParseSkin("<ufd/>").error, "line 1: the root element must be <skin>");
    EXPECT_EQ(ParseSkin("<skin><window").error, "line 1: unterminated start tag");
}

TEST(SkinParser, ControlCountLimitIsExact) {
    auto skin = [](int n) {
        std::string s = "<skin><window name='w' width='10' height='10'>";
        for (int i = 0; i < n; ++i) s += "<static name='s' rect='0,0,1,1'/>";
        return s + "</window></skin>";
    };
    EXPECT_TRUE(ParseSkin(skin(kMaxControlsPerSkin)).ok);
    const auto over = ParseSkin(skin(kMaxControlsPerSkin + 1));
    EXPECT_FALSE(over.ok);
    EXPECT_EQ(over.error, "line 1: more than 4096 controls");
}

TEST(Effects, ApproachWithoutOvershootAndFinish) {
    for (EffectKind kind : {EffectKind::Smooth, EffectKind::Fade}) {
        const float target = kind == EffectKind::Fade ? 1.0f : 100.0f;
        float v = 0;
        int frames = 0;
        while (v != target && frames < 1000) {
            const float next = EffectApproach(kind, v, target, 16);
            EXPECT_GT(next, v);
            EXPECT_LE(next, target);
            v = next;
            ++frames;
        }
        EXPECT_EQ(v, target);
        EXPECT_LT(frames, 80);  // done in well under 1.3 s of 60 Hz frames
        EXPECT_GT(frames, 3);   // and visibly animated
        // Going down works the same way.
        EXPECT_LT(EffectApproach(kind, target, 0, 16), target);
        EXPECT_GE(EffectApproach(kind, target, 0, 16), 0.0f);
        // No time, no change; a very long gap lands on the target.
        EXPECT_EQ(EffectApproach(kind, 10.0f / 100 * target, target, 0), 10.0f / 100 * target);
        EXPECT_EQ(EffectApproach(kind, 0, target, 100000), target);
    }
    EXPECT_EQ(EffectApproach(EffectKind::None, 3, 70, 1), 70);
    EXPECT_EQ(EffectApproach(EffectKind::Smooth, 1.0f / 0.0f, 5, 16), 5);
}

}  // namespace
}  // namespace uifeature
