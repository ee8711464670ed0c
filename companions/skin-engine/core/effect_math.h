// Animation curves of the engine's effects: smooth approach for progress, linear fade for hover.
#pragma once

namespace uifeature {

enum class EffectKind : int {
    None = 0,    // jump to the target
    Smooth = 1,  // exponential approach (time constant 120 ms), for progress bars
    Fade = 2,    // linear, a whole unit in 150 ms, for hover and press highlights (values 0..1)
};

// The value after elapsedMs of moving from current towards target. Never overshoots, reaches the
// target exactly in finite time, and leaves the value unchanged when no time has passed.
float EffectApproach(EffectKind kind, float current, float target, unsigned elapsedMs);

}  // namespace uifeature
