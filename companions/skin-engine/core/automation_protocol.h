// The automation pipe's line protocol: request lines, their parsing, and the JSON replies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace uifeature::automation {

// The longest request line accepted, in bytes before its LF.
inline constexpr size_t kMaxRequestLine = 64 * 1024;

enum class Verb { Hello, Snapshot, Click, Choose, Toggle };

struct Request {
    Verb verb = Verb::Hello;
    std::string window;   // for click, choose, toggle
    std::string control;
};

// One request line without its LF (a CR before it is ignored). False with a one-line reason.
bool ParseRequest(std::string_view line, Request* request, std::string* error);

// Cuts one connection's byte stream into request lines.
class LineReader {
public:
    enum class Result { NeedMore, Line, TooLong };

    void Feed(const char* data, size_t size) { buffer_.append(data, size); }
    // The next complete line (without LF), or NeedMore, or TooLong once the current line is
    // longer than kMaxRequestLine (the stream cannot be resynchronised after that).
    Result Next(std::string* line);

private:
    std::string buffer_;
    size_t scanned_ = 0;  // bytes of buffer_ known to hold no LF
};

struct ControlInfo {
    std::string name;
    std::string kind;  // panel, button, static, progress, radio, check, edit, link
    bool visible = true, enabled = true, checked = false;
    std::string text;  // UTF-8
    int value = 0;
    int rect[4] = {0, 0, 0, 0};
    std::vector<ControlInfo> children;
};

struct WindowInfo {
    std::string name;
    std::uint64_t hwnd = 0;
    bool visible = false;
    int rect[4] = {0, 0, 0, 0};
    std::vector<ControlInfo> controls;
};

// Appends text as a JSON string literal. Bytes that are not valid UTF-8 become U+FFFD, so a
// reply is always valid UTF-8 whatever a client sent or a control holds.
void AppendJsonString(std::string* out, std::string_view text);

// Reply lines, without the LF.
std::string HelloReply(unsigned long pid, const std::vector<WindowInfo>& windows);
std::string SnapshotReply(unsigned long pid, const std::vector<WindowInfo>& windows);
std::string OkReply();
std::string ErrorReply(std::string_view reason);

}  // namespace uifeature::automation
