#include "engine/input.h"

#include "engine/engine.h"

float steeringStep(int32_t counts, float limit) {
    const float step = (float)counts * steeringGain;
    return step < -limit ? -limit : step > limit ? limit : step;
}

int32_t wheelNotches(int16_t delta) {
    return delta / 120;
}

int32_t speedAfterNotches(int32_t percent, int32_t notches) {
    const int32_t result = percent + 5 * notches;
    return result < 0 ? 0 : result > 100 ? 100 : result;
}

bool clickEndsRun(int64_t now, int64_t start, int64_t frequency) {
    // Wrapping subtraction: a start stamp far from now must not overflow.
    const int64_t ticks = (int64_t)((uint64_t)now - (uint64_t)start);
    return (double)ticks / (double)frequency > 0.8;
}

bool clickEndsRunNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return clickEndsRun(now.QuadPart, engine.startCounter, engine.counterFrequency);
}

SteeringStep steer(int32_t dx, int32_t dy) {
    const SteeringStep step{steeringStep(dx, yawLimit), steeringStep(dy, pitchLimit)};
    engine.pendingYaw += step.yaw;
    engine.pendingPitch += step.pitch;
    return step;
}

void turnWheel(int16_t delta) {
    const int32_t notches = wheelNotches(delta);
    if (notches != 0) {
        setSpeedSetting(speedAfterNotches(engine.speedPercent, notches));
    }
}

void setSpeedSetting(int32_t percent) {
    engine.speedPercent = percent;
    engine.targetSpeed = speedCurve(percent);
}
