// Writing the restore record (data A, then data B) into the watch over its AT channel.
#pragma once

#include <string>

#include "engine/restore_rules.h"

namespace TVSP {

// One opening of the port for both parts: "AT^RSDTA=<A>\n" until the watch answers RSDTA_OK, then
// "AT^RSDTB=<B>\n" until RSDTB_OK, each part up to five attempts a second apart and given up after
// twenty reads that brought nothing. True only when the watch took both parts. An empty part, or
// one longer than kMaxRestorePartBytes, is refused before the port is opened; nothing is written.
// The port is closed in every outcome.
[[nodiscard]] bool WriteRestoreData(int port, const std::string& dataA, const std::string& dataB);

}  // namespace TVSP
