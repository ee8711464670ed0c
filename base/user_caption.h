// The caption of every message box the tool and the installer show.
#pragma once

namespace TVSP {

inline constexpr wchar_t kMessageCaption[] = L"TarvoSprout";

}  // namespace TVSP
