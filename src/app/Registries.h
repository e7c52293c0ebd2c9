// The registries of the one DemoSystem (app/DemoSystem.h), each reached on its own, for the
// subsystems below the shell that use a few of them: rendering (textures and render
// targets) and the materials (shaders, materials, textures). Declared here without their
// types, so that including this reaches nothing: a caller includes the registries it uses.
//
// Defined in app/Globals.cpp, beside demoSystem; valid from static construction on.
#pragma once

class TextureManager;
class ShaderManager;
class MaterialManager;
class FboManager;

TextureManager& textureRegistry();
ShaderManager& shaderRegistry();
MaterialManager& materialRegistry();
FboManager& fboRegistry();
