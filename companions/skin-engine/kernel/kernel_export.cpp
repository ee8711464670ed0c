// UiFeatureKernel.dll's export: the process-wide kernel object.
#include "companions/skin-engine/kernel/kernel.h"

extern "C" IUiKernel* UIF_CALL GetUiKernelInterface() { return &uifeature::Kernel::Instance(); }
