// UiFeatureEffect.dll: the engine's animation curves (smooth progress, hover fades) as one export.
#include "companions/skin-engine/core/effect_math.h"
#include "companions/skin-engine/plugin_api.h"

extern "C" float UIF_CALL UifEffectApproach(int effect, float current, float target,
                                                                   unsigned elapsedMs) {
    if (effect < 0 || effect > 2) effect = 0;
    return uifeature::EffectApproach(static_cast<uifeature::EffectKind>(effect), current, target, elapsedMs);
}
