// Writing the restore record (data A, then data B) into the watch over its AT channel.
#include "engine/restore_data.h"

#include <windows.h>

#include <string_view>

#include "engine/at_channel.h"

namespace TVSP {
namespace {

// Sends one part until the watch takes it; false when it refuses five times, falls silent, sends
// more than a reply may hold, or the port fails.
bool WritePart(WatchPort& port, char part, const std::string& data) {
    const std::string command = FormatRestoreCommand(part, data);
    int emptyReads = 0;  // counted over the part's attempts
    for (int attempt = 0; attempt < kRestoreAttempts; ++attempt) {
        if (attempt > 0) ::Sleep(kRestoreRetryPauseMs);
        if (!port.WriteAll(command.data(), command.size())) return false;
        RestoreReply reply(part, command);
        char piece[kRestoreReadPiece];
        while (reply.state() == RestoreReplyState::Pending) {
            if (reply.full()) return false;
            const DWORD count = port.ReadOnce(piece, sizeof piece);
            if (count == 0 && ++emptyReads >= kRestoreEmptyReadLimit) return false;
            reply.Add(std::string_view(piece, count));
        }
        if (reply.state() == RestoreReplyState::Ok) return true;
    }
    return false;
}

}  // namespace

bool WriteRestoreData(int port, const std::string& dataA, const std::string& dataB) {
    if (!RestorePartFits(dataA) || !RestorePartFits(dataB)) return false;
    WatchPort watch;
    if (!watch.Open(port)) return false;
    const bool taken = WritePart(watch, 'A', dataA) && WritePart(watch, 'B', dataB);
    // The verdict is in; a close that fails cannot change it.
    static_cast<void>(watch.Close());
    return taken;
}

}  // namespace TVSP
