// Animation curves of the engine's effects: smooth approach for progress, linear fade for hover.
#include "companions/skin-engine/core/effect_math.h"

#include <cmath>

namespace uifeature {

float EffectApproach(EffectKind kind, float current, float target, unsigned elapsedMs) {
    if (!std::isfinite(current) || !std::isfinite(target)) return target;
    if (elapsedMs == 0) return current;
    const float dt = static_cast<float>(elapsedMs > 2000 ? 2000 : elapsedMs);
    const float diff = target - current;
    switch (kind) {
        case EffectKind::Smooth: {
            const float left = diff * std::exp(-dt / 120.0f);
            // Close enough to be indistinguishable on screen: finish, so the frame timer can stop.
            if (std::fabs(left) < 0.05f) return target;
            return target - left;
        }
        case EffectKind::Fade: {
            const float step = dt / 150.0f;
            if (std::fabs(diff) <= step) return target;
            return current + (diff > 0 ? step : -step);
        }
        case EffectKind::None: break;
    }
    return target;
}

}  // namespace uifeature
