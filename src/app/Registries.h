// The registries of the one DemoSystem, each reached on its own by the subsystems below the
// shell (rendering, materials). Declared without their types, so that including this
// reaches nothing. Defined in app/Globals.cpp; valid from static construction on.
#pragma once

class TextureManager;
class ShaderManager;
class MaterialManager;
class FboManager;

TextureManager& textureRegistry();
ShaderManager& shaderRegistry();
MaterialManager& materialRegistry();
FboManager& fboRegistry();
