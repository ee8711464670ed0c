// The automation line protocol: request parsing, line limits, JSON escaping and reply shapes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <random>

#include "companions/skin-engine/core/automation_protocol.h"

namespace uifeature::automation {
namespace {

TEST(AutomationRequest, ParsesEveryVerbAndRefusesMalformedLines) {
    struct Good {
        const char* line;
        Verb verb;
        const char* window;
        const char* control;
    };
    const Good good[] = {
        {"hello", Verb::Hello, "", ""},
        {"snapshot\r", Verb::Snapshot, "", ""},
        {"  hello \t", Verb::Hello, "", ""},
        {"click mainWnd/updateButton", Verb::Click, "mainWnd", "updateButton"},
        {"choose connectguide/k7\r", Verb::Choose, "connectguide", "k7"},
        {"toggle\t setupWnd/agree ", Verb::Toggle, "setupWnd", "agree"},
        {"click a/b", Verb::Click, "a", "b"},
    };
    for (const Good& row : good) {
        Request r;
        r.window = "sentinel";
        std::string error;
        ASSERT_TRUE(ParseRequest(row.line, &r, &error)) << row.line << ": " << error;
        EXPECT_EQ(r.verb, row.verb) << row.line;
        EXPECT_EQ(r.window, row.window) << row.line;
        EXPECT_EQ(r.control, row.control) << row.line;
    }

    struct Bad {
        std::string line;
        const char* error;
    };
    const Bad bad[] = {
        {"", "empty request"},
        {" \t\r", "empty request"},
        {"hello there", "hello takes no argument"},
        {"snapshot mainWnd", "snapshot takes no argument"},
        {"Hello", "unknown request 'Hello'"},  // verbs are lower case, as documented
        {"press OK", "unknown request 'press'"},
        {"click", "click needs WINDOW/CONTROL, got ''"},
        {"click mainWnd", "click needs WINDOW/CONTROL, got 'mainWnd'"},
        {"choose /k7", "choose needs WINDOW/CONTROL, got '/k7'"},
        {"toggle setupWnd/", "toggle needs WINDOW/CONTROL, got 'setupWnd/'"},
        {"click a/b/c", "click needs WINDOW/CONTROL, got 'a/b/c'"},
        {"click main Wnd/b", "click needs WINDOW/CONTROL, got 'main Wnd/b'"},
        {std::string(100, 'x'), nullptr},  // checked below: the quote is cut
    };
    for (const Bad& row : bad) {
        Request r;
        std::string error = "sentinel";
        EXPECT_FALSE(ParseRequest(row.line, &r, &error)) << row.line;
        if (row.error) {
            EXPECT_EQ(error, row.error) << row.line;
        }
    }
    Request r;
    std::string error;
    ASSERT_FALSE(ParseRequest(std::string(100, 'x'), &r, &error));
    EXPECT_EQ(error, "unknown request '" + std::string(80, 'x') + "...'");
}

// Feeds text and collects what the reader gives until it needs more or refuses.
std::vector<std::string> Drain(LineReader& reader, bool* tooLong) {
    std::vector<std::string> lines;
    *tooLong = false;
    for (;;) {
        std::string line = "sentinel";
        const LineReader::Result r = reader.Next(&line);
        if (r == LineReader::Result::NeedMore) return lines;
        if (r == LineReader::Result::TooLong) {
            *tooLong = true;
            return lines;
        }
        lines.push_back(line);
    }
}

TEST(AutomationLines, CutsLinesAndRefusesThemPastTheLimit) {
    bool tooLong = false;
    {
        LineReader reader;
        reader.Feed("hello\nsnap", 10);
        EXPECT_EQ(Drain(reader, &tooLong), std::vector<std::string>{"hello"});
        reader.Feed("shot\r\n\nclick a/b\n", 17);
        EXPECT_EQ(Drain(reader, &tooLong), (std::vector<std::string>{"snapshot", "", "click a/b"}));
        EXPECT_FALSE(tooLong);
    }
    // The limit counts the bytes before the LF: N-1 and N pass, N+1 is refused, with or without
    // its LF having arrived.
    for (size_t extra : {0, 1, 2}) {
        const size_t length = kMaxRequestLine - 1 + extra;
        LineReader reader;
        const std::string body(length, 'a');
        reader.Feed(body.data(), body.size());
        EXPECT_TRUE(Drain(reader, &tooLong).empty());
        EXPECT_EQ(tooLong, length > kMaxRequestLine) << length;
        reader.Feed("\nhello\n", 7);
        const std::vector<std::string> lines = Drain(reader, &tooLong);
        if (length <= kMaxRequestLine) {
            ASSERT_EQ(lines.size(), 2u) << length;
            EXPECT_EQ(lines[0].size(), length);
            EXPECT_EQ(lines[1], "hello");
            EXPECT_FALSE(tooLong);
        } else {
            EXPECT_TRUE(lines.empty());
            EXPECT_TRUE(tooLong);
        }
    }
    {
        // Requests before an overlong line are still answered; the long line arrives in one piece.
        LineReader reader;
        const std::string text = "hello\n" + std::string(kMaxRequestLine + 1, 'b') + "\nhello\n";
        reader.Feed(text.data(), text.size());
        EXPECT_EQ(Drain(reader, &tooLong), std::vector<std::string>{"hello"});
        EXPECT_TRUE(tooLong);
    }
}

std::string Json(std::string_view text) {
    std::string out;
    AppendJsonString(&out, text);
    return out;
}

TEST(AutomationJson, EscapesAndRepairsTexts) {
    struct Row {
        std::string in;
        std::string out;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Row rows[] = {
        {"", "\"\""},
        {"plain", "\"plain\""},
        {"a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
        {"\n\r\t\b\f", "\"\\n\\r\\t\\b\\f\""},
        {std::string("\x00\x01\x1f\x20\x7f", 5), "\"\\u0000\\u0001\\u001f \x7f\""},
        {"\xE4\xB8\x80\xE9\xBE\xA5", "\"\xE4\xB8\x80\xE9\xBE\xA5\""},        // 一龥
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},                        // U+1F600
        {"\xC2\x80\xDF\xBF", "\"\xC2\x80\xDF\xBF\""},                        // 2-byte edges
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", "\"\xEF\xBF\xBF\xF4\x8F\xBF\xBF\""},  // U+FFFF, U+10FFFF
        {"\x80", "\"" + fffd + "\""},                                        // stray continuation
        {"\xB5\xDA\xD2\xBB", "\"" + fffd + fffd + "\xD2\xBB\""},             // GBK 第一: D2 BB happens to be U+04BB
        {"a\xE4\xB8", "\"a" + fffd + fffd + "\""},                           // cut short
        {"\xC0\xAF", "\"" + fffd + fffd + "\""},                             // overlong '/'
        {"\xE0\x80\xAF", "\"" + fffd + fffd + fffd + "\""},                  // overlong 3-byte
        {"\xED\xA0\x80", "\"" + fffd + fffd + fffd + "\""},                  // a UTF-16 surrogate
        {"\xF4\x90\x80\x80", "\"" + fffd + fffd + fffd + fffd + "\""},       // past U+10FFFF
        {"\xF8\x88\x80\x80\x80", "\"" + fffd + fffd + fffd + fffd + fffd + "\""},
        {"\xE4\xB8\"", "\"" + fffd + fffd + "\\\"\""},                       // a quote ends nothing early
    };
    for (const Row& row : rows) EXPECT_EQ(Json(row.in), row.out) << row.in;

    // Whatever the bytes, the result is a JSON string that a strict parser accepts, and valid
    // text comes back unchanged.
    std::mt19937 random(1234);
    for (int i = 0; i < 20000; ++i) {
        std::string bytes(random() % 12, '\0');
        for (char& b : bytes) b = static_cast<char>(random() % 3 == 0 ? random() % 0x80 : 0x80 + random() % 0x80);
        const std::string out = Json(bytes);
        const nlohmann::json parsed = nlohmann::json::parse(out, nullptr, false);
        ASSERT_FALSE(parsed.is_discarded()) << out;
        ASSERT_TRUE(parsed.is_string());
        if (out.find(fffd) == std::string::npos) {
            ASSERT_EQ(parsed.get<std::string>(), bytes);
        }
    }
}

TEST(AutomationReplies, HaveTheDocumentedShape) {
    ControlInfo button;
    button.name = "updateButton";
    button.kind = "button";
    button.text = "\xE4\xB8\x80\xE9\x94\xAE\xE5\x8D\x87\xE7\xBA\xA7";  // 一键升级
    button.rect[0] = 196;
    button.rect[1] = 176;
    button.rect[2] = 346;
    button.rect[3] = 216;
    ControlInfo bar;
    bar.name = "progress";
    bar.kind = "progress";
    bar.visible = false;
    bar.enabled = false;
    bar.value = 64;
    ControlInfo panel;
    panel.name = "card";
    panel.kind = "panel";
    panel.checked = true;
    panel.rect[0] = -3;
    panel.children = {button, bar};
    WindowInfo w;
    w.name = "mainWnd";
    w.hwnd = 0x10062;
    w.visible = true;
    w.rect[0] = 660;
    w.rect[1] = 320;
    w.rect[2] = 1260;
    w.rect[3] = 720;
    w.controls = {panel};
    WindowInfo other;
    other.name = "connect\"guide";
    other.hwnd = 0xFFFFFFFF00000001ull;

    EXPECT_EQ(HelloReply(42, {w, other}),
              "{\"ok\":true,\"pid\":42,\"windows\":[{\"name\":\"mainWnd\",\"hwnd\":\"0x10062\"},"
              "{\"name\":\"connect\\\"guide\",\"hwnd\":\"0xffffffff00000001\"}]}");
    EXPECT_EQ(HelloReply(7, {}), "{\"ok\":true,\"pid\":7,\"windows\":[]}");
    EXPECT_EQ(SnapshotReply(42, {w}),
              "{\"ok\":true,\"pid\":42,\"windows\":[{\"name\":\"mainWnd\",\"hwnd\":\"0x10062\",\"visible\":true,"
              "\"rect\":[660,320,1260,720],\"controls\":[{\"name\":\"card\",\"class\":\"panel\",\"visible\":true,"
              "\"enabled\":true,\"checked\":true,\"text\":\"\",\"value\":0,\"rect\":[-3,0,0,0],\"children\":["
              "{\"name\":\"updateButton\",\"class\":\"button\",\"visible\":true,\"enabled\":true,\"checked\":false,"
              "\"text\":\"\xE4\xB8\x80\xE9\x94\xAE\xE5\x8D\x87\xE7\xBA\xA7\",\"value\":0,\"rect\":[196,176,346,216],"
              "\"children\":[]},"
              "{\"name\":\"progress\",\"class\":\"progress\",\"visible\":false,\"enabled\":false,\"checked\":false,"
              "\"text\":\"\",\"value\":64,\"rect\":[0,0,0,0],\"children\":[]}]}]}]}");
    const nlohmann::json snapshot = nlohmann::json::parse(SnapshotReply(1, {w, other}));
    EXPECT_EQ(snapshot["windows"][1]["name"], "connect\"guide");
    EXPECT_TRUE(snapshot["windows"][1]["controls"].empty());

    EXPECT_EQ(OkReply(), "{\"ok\":true}");
    EXPECT_EQ(ErrorReply("no control 'x\"y' in window 'a\\b'"),
              "{\"ok\":false,\"error\":\"no control 'x\\\"y' in window 'a\\\\b'\"}");
    const nlohmann::json error = nlohmann::json::parse(ErrorReply("unknown request '\xB5\xDA\n'"));
    EXPECT_EQ(error["ok"], false);
    EXPECT_EQ(error["error"], "unknown request '\xEF\xBF\xBD\xEF\xBF\xBD\n'");
}

}  // namespace
}  // namespace uifeature::automation
