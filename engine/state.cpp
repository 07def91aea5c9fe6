#include "engine/engine.h"

EngineState engine;

void resetEngineState() {
    engine = EngineState{};
}
