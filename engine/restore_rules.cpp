// Restore data for the watch: splitting the server's record, the commands, bounds, and how a reply is judged.
#include "engine/restore_rules.h"

#include <algorithm>

namespace TVSP {
namespace {

bool IsLineEndOrZero(char c) { return c == '\r' || c == '\n' || c == '\0'; }

}  // namespace

RestoreRecord SplitRestoreBody(std::string_view body) {
    const std::size_t lineFeed = body.find('\n');
    if (lineFeed == std::string_view::npos) return {std::string(body), std::string(body)};
    return {std::string(body.substr(0, lineFeed)), std::string(body.substr(lineFeed + 1))};
}

std::string FormatRestoreCommand(char part, std::string_view data) {
    const std::string_view prefix = part == 'A' ? kRestoreCommandPrefixA : kRestoreCommandPrefixB;
    std::string command;
    command.reserve(prefix.size() + data.size() + 1);
    command.append(prefix).append(data).push_back('\n');
    return command;
}

bool RestorePartFits(std::string_view data) {
    // A line feed would end the command early: the watch would keep only the first line and still
    // answer OK, a restore reported whole that is not.
    return !data.empty() && data.size() <= kMaxRestorePartBytes && data.find('\n') == std::string_view::npos;
}

RestoreReply::RestoreReply(char part, std::string_view sentCommand, std::size_t limit)
    : marker_(part == 'A' ? "RSDTA_" : "RSDTB_"), echo_(sentCommand), limit_(limit), inEcho_(!echo_.empty()) {}

RestoreReplyState RestoreReply::Add(std::string_view piece) {
    const std::size_t room = limit_ - std::min(limit_, text_.size());
    text_.append(piece.substr(0, room));
    Judge();
    return state_;
}

void RestoreReply::Judge() {
    if (state_ != RestoreReplyState::Pending) return;
    if (inEcho_) {
        if (echoChecked_ == 0) {
            while (echoBegin_ < text_.size() && IsLineEndOrZero(text_[echoBegin_])) ++echoBegin_;
        }
        const std::size_t arrived = text_.size() - echoBegin_;
        const std::size_t end = std::min(arrived, echo_.size());
        const std::size_t count = end - echoChecked_;
        const bool same = text_.compare(echoBegin_ + echoChecked_, count, echo_, echoChecked_, count) == 0;
        echoChecked_ = end;
        if (same && arrived < echo_.size()) return;  // still the echo
        inEcho_ = false;
        next_ = same ? echoBegin_ + echo_.size() : 0;
    }
    constexpr std::string_view kOk = "OK";
    constexpr std::string_view kError = "ERROR";
    for (;;) {
        const std::size_t at = text_.find(marker_, next_);
        if (at == std::string::npos) {
            // A marker may be arriving at the very end.
            const std::size_t tail = marker_.size() - 1;
            next_ = std::max(next_, text_.size() > tail ? text_.size() - tail : 0);
            return;
        }
        const std::string_view rest = std::string_view(text_).substr(at + marker_.size());
        if (rest.starts_with(kOk)) {
            state_ = RestoreReplyState::Ok;
            return;
        }
        if (rest.starts_with(kError)) {
            state_ = RestoreReplyState::Error;
            return;
        }
        if (kOk.starts_with(rest) || kError.starts_with(rest)) {
            next_ = at;  // the word after the marker is still arriving
            return;
        }
        next_ = at + 1;
    }
}

RestoreReplyState JudgeRestoreReply(std::string_view reply, char part, std::string_view sentCommand) {
    RestoreReply judged(part, sentCommand, reply.size());
    return judged.Add(reply);
}

}  // namespace TVSP
