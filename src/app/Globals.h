// The show's global objects. Those built by constructors are all defined in Globals.cpp,
// which fixes their order; each is declared beside its type. Plain values with constant
// initialisers (screen size, capture request and counter, beat time, mouse slots, window
// pointer) live beside their code and take no part in that order.
#pragma once

#include "app/DemoSystem.h"
#include "audio/MusicStream.h"
#include "render/Renderer.h"
#include "resources/DebugVariables.h"
