// The process's engine behind the exports, replaceable by tests.
#pragma once

#include "crengine/internal/scanclass.h"

#include <memory>

namespace crengine {

ScanClass& engine();
// Installs an engine (the exports then act on it) and returns the previous one.
std::unique_ptr<ScanClass> installEngine(std::unique_ptr<ScanClass> engine);
bool initialised();
void setInitialised(bool value);

}  // namespace crengine
