#include "engine/engine.h"

#include <math.h>

#include "engine/rounded.h"

static ScreenPoint project(float x, float y, float z, const FrameView& view) {
    return ScreenPoint{x * view.focalLength / z + view.viewCentre.x,
                       y * view.focalLength / z + view.viewCentre.y};
}

bool stepStar(Star& star, const FrameView& view, ScreenPoint& screenPos,
              ScreenPoint& prevScreenPos) {
    const float x0 = star.x, y0 = star.y, z0 = star.z;
    star.zPrev = z0;

    // An angle of exactly 0, the usual case while the mouse rests, leaves the bits alone.
    float z1 = z0;
    if (view.yaw != 0.0f) {
        star.x = view.cosYaw * x0 - view.sinYaw * z0;
        z1 = view.sinYaw * x0 + view.cosYaw * z0;
    }
    float z2 = z1;
    if (view.pitch != 0.0f) {
        star.y = view.cosPitch * y0 - view.sinPitch * z1;
        z2 = view.sinPitch * y0 + view.cosPitch * z1;
    }
    star.z = z2 - engine.currentSpeed * view.motionStep;

    bool respawned = false;
    if (star.z < 2.0f) {
        spawnStar(star, true);
        star.zPrev = star.z;
        respawned = true;
    }

    screenPos = project(star.x, star.y, star.z, view);
    const float margin = 120.0f;
    if (screenPos.x < -margin || screenPos.x > (float)engine.width + margin ||
        screenPos.y < -margin || screenPos.y > (float)engine.height + margin) {
        // Far stars turned out of view stay, so that turning back finds them again.
        if (star.z < 900.0f) {
            spawnStar(star, true);
            star.zPrev = star.z;
        }
        return false;
    }
    // A star that has just been placed anew has no path on screen: no streak from where the
    // old one was.
    prevScreenPos = respawned ? screenPos : project(x0, y0, z0, view);
    return true;
}

void easeSpeed(double deltaTime) {
    static const double rates[2] = {1.35, 2.25}; // falling (or level), rising
    const double rate = rates[engine.targetSpeed > engine.currentSpeed ? 1 : 0];
    const float factor = (float)fmin(rate * deltaTime, 1.0);
    engine.currentSpeed = (engine.targetSpeed - engine.currentSpeed) * factor + engine.currentSpeed;
}

FrameView makeFrameView(float yaw, float pitch, double deltaTime) {
    FrameView view{};
    view.yaw = yaw;
    view.pitch = pitch;
    view.cosYaw = roundedCos(yaw);
    view.sinYaw = roundedSin(yaw);
    view.cosPitch = roundedCos(pitch);
    view.sinPitch = roundedSin(pitch);
    const float width = (float)engine.width, height = (float)engine.height;
    view.focalLength = (engine.width < engine.height ? width : height) * 0.92f;
    const float t = (float)engine.flightTime;
    view.viewCentre.x = width * 0.5f + (roundedSin(0.09f * t) * width) * 0.012f;
    view.viewCentre.y = height * 0.5f + (roundedCos(0.073f * t) * height) * 0.01f;
    const float q = engine.currentSpeed / 200.0f;
    view.speedFactor = q < 0.0f ? 0.0f : fminf(q, 5.0f);
    view.streakScale = streakScaleFor(view.speedFactor);
    view.motionStep = (float)deltaTime;
    return view;
}

void flyStars(const FrameView& view) {
    for (int32_t i = 0; i < engine.starCount; i++) {
        Star& star = engine.stars[i];
        ScreenPoint at, before;
        if (stepStar(star, view, at, before)) {
            drawStarScaled(star, at, before, star.z, view.streakScale);
        }
    }
}

void takeStartStamp() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    engine.counterFrequency = frequency.QuadPart;
    engine.startCounter = now.QuadPart;
    // The first frame measures its step from start-up.
    engine.lastFrameCounter = now.QuadPart;
}

void stepFrame(int64_t elapsed) {
    if (engine.pixels && engine.background && engine.stars) {
        double deltaTime = (double)elapsed / (double)engine.counterFrequency;
        // Written so that the NaN of a zero frequency counts as no time at all.
        if (!(deltaTime > 0.0)) {
            deltaTime = 0.0;
        } else if (deltaTime > 0.05) {
            deltaTime = 0.05;
        }
        restoreBackground();
        easeSpeed(deltaTime);
        engine.flightTime += deltaTime;
        const float yaw = engine.pendingYaw, pitch = engine.pendingPitch;
        engine.pendingYaw = 0.0f;
        engine.pendingPitch = 0.0f;

        if (engine.starCount > 0) {
            flyStars(makeFrameView(yaw, pitch, deltaTime));
        }
    } else {
        // Presentation may still draw over whatever the buffer holds.
        engine.changeMapValid = false;
    }
}

void renderFrame(HWND window) {
    PAINTSTRUCT paint;
    HDC paintDc = BeginPaint(window, &paint);

    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Wrapping subtraction: a counter that jumps by more than half the range must not overflow.
    const int64_t elapsed = (int64_t)((uint64_t)now.QuadPart - (uint64_t)engine.lastFrameCounter);
    engine.lastFrameCounter = now.QuadPart;

    stepFrame(elapsed);
    presentFrame(paintDc);
    EndPaint(window, &paint);
}
