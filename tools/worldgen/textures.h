// The pictures the backdrop scenes name as their textures, painted by code.
//
// Every picture is a power of two on each side and tiles where a surface
// repeats it. Pictures used by "alpha" materials carry a real alpha channel.
#pragma once

#include <string>
#include <vector>

// Base names ("wood_planks.png", ...) of every picture PaintTexture knows.
std::vector<std::string> TextureNames();
// Paints the picture with that base name into dir; false for an unknown name
// or a write failure (with a message).
bool PaintTexture(const std::string& dir, const std::string& baseName);
