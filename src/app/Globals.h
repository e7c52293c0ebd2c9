// The show's global objects. Those built by constructors are all defined in Globals.cpp,
// in one translation unit, so that they are built in this order: scene-owned tables,
// DemoSystem, the debug variables, the music, the Renderer, the message log, the
// depth-renderbuffer table; the frame time sits there too. Each is declared beside its
// type, so a subsystem includes only the header it needs.
//
// The other plain values live beside their code: the screen size (Screen.cpp), the
// capture request and counter (Capture.cpp), the beat time and mouse slots (Controls.cpp)
// and the window pointer (Window.cpp). Their initialisers are constants, applied before
// any constructor runs, so they take no part in that order.
#pragma once

#include "app/DemoSystem.h"
#include "audio/MusicStream.h"
#include "render/Renderer.h"
#include "resources/DebugVariables.h"
