// The show's global objects. All are defined in Globals.cpp, in one translation unit, so
// that they are built in this order: scene-owned tables, DemoSystem, the debug
// variables, the music, the Renderer, the message log, the depth-renderbuffer table.
#pragma once

#include "app/DemoSystem.h"
#include "render/Renderer.h"
#include "resources/DebugVariables.h"

extern DemoSystem demoSystem;
extern DebugVariableManager debugVariables;
extern MusicStream musicStream;
extern Renderer renderer;
