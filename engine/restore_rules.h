// Restore data for the watch: splitting the server's record, the commands, bounds, and how a reply is judged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace TVSP {

// The two texts the watch takes back after an upgrade that wiped them.
struct RestoreRecord {
    std::string dataA;
    std::string dataB;
};

// Data A is the text before the first line feed, data B everything after it. A body without a line
// feed is both A and B: the server sends a single-line record that way on purpose.
RestoreRecord SplitRestoreBody(std::string_view body);

inline constexpr std::string_view kRestoreCommandPrefixA = "AT^RSDTA=";
inline constexpr std::string_view kRestoreCommandPrefixB = "AT^RSDTB=";

// The watch keeps a command line of at most 1 MiB (line end not counted) and answers a longer one
// with a plain ERROR, which carries no RSDTx marker: the tool would only give up after its empty
// reads. So a part whose command would not fit is refused before anything is written.
inline constexpr std::size_t kMaxRestoreCommandLine = std::size_t{1} << 20;
inline constexpr std::size_t kMaxRestorePartBytes = kMaxRestoreCommandLine - kRestoreCommandPrefixA.size();

// A watch that never stops sending must not take the tool's memory: one attempt's reply is read
// into at most this many bytes, and a full buffer ends the attempt as a failure.
inline constexpr std::size_t kMaxRestoreReplyBytes = 31457280;  // 30 MiB
inline constexpr std::size_t kRestoreReadPiece = 256;
inline constexpr int kRestoreAttempts = 5;         // per part
inline constexpr int kRestoreEmptyReadLimit = 20;  // per part, over all its attempts
inline constexpr unsigned kRestoreRetryPauseMs = 1000;

// "AT^RSDTA=<data>\n" (part 'A') or "AT^RSDTB=<data>\n" (part 'B'), the whole data, no zero byte.
std::string FormatRestoreCommand(char part, std::string_view data);

// A part the watch can take: not empty, one line (no line feed), and its command within the
// watch's line limit.
bool RestorePartFits(std::string_view data);

enum class RestoreReplyState {
    Pending,  // no verdict yet: read on
    Ok,       // RSDTx_OK
    Error,    // RSDTx_ERROR
};

// One attempt's reply, collected piece by piece and judged as it grows (the cost stays linear in
// the reply, which for a long record holds its whole echo).
//
// The verdict is the first marker of the part in the reply. A watch that echoes sends the command
// back first, and the data in it may itself hold a marker's text; so while the reply is still the
// echo nothing is judged, and a reply that begins with the whole echo is judged after it. Line ends
// and zero bytes before the echo are skipped: the previous part's answer may leave its final CR LF
// unread. A reply that departs from the echo (the watch does not echo) is judged from its start.
// Every byte counts, a zero byte too: it does not hide what follows.
class RestoreReply {
public:
    // part 'A' or 'B'; sentCommand: the bytes written (empty: judge from the start).
    RestoreReply(char part, std::string_view sentCommand, std::size_t limit = kMaxRestoreReplyBytes);

    // Appends what arrived, as much of it as the limit leaves room for, and judges the reply so far.
    // A verdict, once given, stays.
    RestoreReplyState Add(std::string_view piece);

    RestoreReplyState state() const { return state_; }
    // The limit is reached: nothing more can be taken.
    bool full() const { return text_.size() >= limit_; }
    const std::string& text() const { return text_; }

private:
    void Judge();

    std::string marker_;  // "RSDTA_" or "RSDTB_"
    std::string echo_;
    std::size_t limit_;
    std::string text_;
    bool inEcho_;                  // the reply so far is a beginning of the echo
    std::size_t echoBegin_ = 0;    // where the echo starts, after leading line ends
    std::size_t echoChecked_ = 0;  // bytes of the echo already compared
    std::size_t next_ = 0;         // no marker begins before this position
    RestoreReplyState state_ = RestoreReplyState::Pending;
};

// The verdict on a whole reply, as RestoreReply gives it.
RestoreReplyState JudgeRestoreReply(std::string_view reply, char part, std::string_view sentCommand = {});

}  // namespace TVSP
