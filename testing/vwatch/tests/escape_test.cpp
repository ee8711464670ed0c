// Tests of the control channel's escaping.
#include "testing/vwatch/escape.h"

#include <gtest/gtest.h>

namespace tvsp::vwatch {
namespace {

TEST(vwatch_escape, EveryByteSurvivesTheRoundTripOnOneLine) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string escaped = Escape(all);
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_EQ(escaped.find('\r'), std::string::npos);
    EXPECT_EQ(escaped.find(kListDelimiter), std::string::npos);
    EXPECT_EQ(Unescape(escaped), all);
}

TEST(vwatch_escape, KnownForms) {
    const struct {
        std::string bytes;
        std::string escaped;
    } rows[] = {
        {"AT+CGMR", "AT+CGMR"},
        {"\r\nOK\r\n", "\\r\\nOK\\r\\n"},
        {std::string("a\0b", 3), "a\\0b"},
        {"a|b", "a\\x7cb"},
        {"back\\slash", "back\\\\slash"},
        {"\x7f\xff", "\\x7f\\xff"},
        {"with space", "with space"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Escape(row.bytes), row.escaped);
        EXPECT_EQ(Unescape(row.escaped), row.bytes);
    }
    EXPECT_EQ(Unescape("\\X41\\x4A"), std::nullopt);  // the escape letter itself is lower case only
    EXPECT_EQ(Unescape("\\x4a\\x4A"), "JJ");
}

TEST(vwatch_escape, MalformedEscapesAreRefused) {
    for (const char* bad : {"\\", "abc\\", "\\x", "\\x4", "\\xg0", "\\q", "\\R"}) {
        EXPECT_EQ(Unescape(bad), std::nullopt) << bad;
    }
}

TEST(vwatch_escape, SplitList) {
    EXPECT_TRUE(SplitList("").empty());
    EXPECT_EQ(SplitList("a"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitList("a||b|"), (std::vector<std::string>{"a", "", "b", ""}));
}

}  // namespace
}  // namespace tvsp::vwatch
