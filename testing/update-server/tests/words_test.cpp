// Tests of the update server's control-line word escaping.
#include "testing/update-server/words.h"

#include <gtest/gtest.h>

#include "testing/vwatch/escape.h"

namespace tvsp::updsrv {
namespace {

TEST(update_server_words, EscapedWordsHoldNoSpaceAndRoundTrip) {
    const std::string all = [] {
        std::string s;
        for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
        return s + " a b ";
    }();
    for (const std::string& bytes : {std::string(), std::string("a b"), std::string("x|y\\z\r\n"), all}) {
        const std::string word = EscapeWord(bytes);
        EXPECT_EQ(word.find(' '), std::string::npos);
        EXPECT_EQ(vwatch::Unescape(word), bytes);
    }
}

TEST(update_server_words, SplitKeepsEmptyWords) {
    const struct {
        std::string_view line;
        std::vector<std::string_view> words;
    } cases[] = {
        {"clear", {"clear"}},
        {"raw /a ", {"raw", "/a", ""}},
        {"reply /a 200  length", {"reply", "/a", "200", "", "length"}},
        {"", {""}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitWords(c.line), c.words) << c.line;
}

TEST(update_server_words, RequestCount) {
    EXPECT_EQ(ParseRequestCount("OK 0"), 0u);
    EXPECT_EQ(ParseRequestCount("OK 12"), 12u);
    for (std::string_view bad : {"OK", "OK ", "OK x", "OK 1 2", "ERR 1", "OK -1"}) {
        EXPECT_FALSE(ParseRequestCount(bad)) << bad;
    }
}

}  // namespace
}  // namespace tvsp::updsrv
