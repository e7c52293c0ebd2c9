// The show's global objects. All are defined in Globals.cpp, in one translation unit, so
// that they are built in this order: scene-owned tables, DemoSystem, the debug
// variables, the music, the Renderer, the message log, the depth-renderbuffer table. Each
// is declared beside its type, so a subsystem includes only the header it needs.
#pragma once

#include "app/DemoSystem.h"
#include "audio/MusicStream.h"
#include "render/Renderer.h"
#include "resources/DebugVariables.h"
