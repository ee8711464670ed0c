// Named kernel objects shared between the tool and its installer: the installer refuses to run
// while the tool's mutex exists, so both must spell the names the same.
#pragma once

namespace TVSP {

inline constexpr wchar_t kToolInstanceMutexName[] = L"_Tarvo_SPROUT_SINGLE_INSTANCE_";
inline constexpr wchar_t kSetupInstanceMutexName[] = L"_Tarvo_SPROUT_SETUP_SINGLE_INSTANCE_";

}  // namespace TVSP
