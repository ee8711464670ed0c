// UiFeatureKernel.dll's export: the process-wide kernel object.
#include "companions/skin-engine/kernel/kernel.h"

extern "C" IUiKernel* UIF_CALL GetUiKernelInterface() {
    uifeature::Kernel& kernel = uifeature::Kernel::Instance();
    kernel.StartAutomation();  // when TVSP_AUTOMATION asks for it: tools are driven from their start
    return &kernel;
}
