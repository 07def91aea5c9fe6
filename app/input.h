// The arithmetic of the input handlers, apart from the messages that carry it.
#pragma once

#include <stdint.h>

const float steeringGain = 0.0023f;
const float yawLimit = 0.11f;
const float pitchLimit = 0.09f;

// One raw report's motion in device counts as a steering angle, limited to -limit .. limit.
float steeringStep(int32_t counts, float limit);

// Whole notches in a wheel delta, truncated toward zero: finer reports count for nothing.
int32_t wheelNotches(int16_t delta);

// The speed setting after the given notches, limited to 0 .. 100.
int32_t speedAfterNotches(int32_t percent, int32_t notches);

// Whether a click at counter reading now lies strictly more than 0.8 s after start.
bool clickEndsRun(int64_t now, int64_t start, int64_t frequency);
