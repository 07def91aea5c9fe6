#include "engine/engine.h"

#include "engine/rounded.h"

float speedCurve(int32_t percent) {
    if (percent == 0) {
        return 0.0f;
    }
    float ratio = (float)percent / 100.0f;
    return roundedPow205(ratio) * 920.0f + 10.0f;
}
