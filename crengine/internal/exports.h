// The process's engine behind the exports, replaceable by tests.
#pragma once

#include "crengine/internal/scanclass.h"

#include <memory>

namespace crengine {

ScanClass& engine();
// Installs an engine (the exports then act on it) and returns the previous one.
// A previous engine whose scanner thread was given up is kept alive for it.
std::unique_ptr<ScanClass> installEngine(std::unique_ptr<ScanClass> engine);
// What unloading the library or leaving the process does to the engine.
void retireEngine();
bool initialised();
void setInitialised(bool value);

}  // namespace crengine
