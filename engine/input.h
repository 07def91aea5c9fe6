// The input rules of every front end (the Windows window procedure, the X11 hack, the web
// page), apart from the messages and events that carry the input: the arithmetic, and what
// each input does to the engine's state.
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

// Called by every front end on a mouse button or a touch that may end the run: whether it
// does, by the counter now against the start stamp.
bool clickEndsRunNow();

struct SteeringStep {
    float yaw;
    float pitch;
};

// Called by every front end on one raw mouse report, or pointer motion taken as one, in
// device counts: adds each direction's limited step to the pending steering and returns them.
SteeringStep steer(int32_t dx, int32_t dy);

// Called by every front end on a wheel report, in WM_MOUSEWHEEL's units (120 a notch, positive
// away from the user): whole notches step the speed setting; a finer report changes nothing.
void turnWheel(int16_t delta);

// Called at start-up and by turnWheel: the speed setting, 0 to 100, and the target speed the
// frames ease toward.
void setSpeedSetting(int32_t percent);
