// Which ROM regions a download writes, by the watch's model class.
#pragma once

#include <string_view>

namespace TVSP {

// True when a region of this name is written to a watch of this class: classes 33 and 50 take
// only "OTA"; every other class takes everything but the boot loaders "ARM_BL" and "ARM_EXT_BL".
// Names are compared without regard to (ASCII) case.
bool IsRegionWritten(unsigned modelClass, std::string_view regionName);

}  // namespace TVSP
