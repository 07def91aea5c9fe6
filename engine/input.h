// The input rules of every front end (the Windows window procedure, the X11 hack, the web
// page) as plain arithmetic, apart from the messages and events that carry the input.
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
