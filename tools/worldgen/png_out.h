// Deterministic PNG output for the generators: RGBA8, fixed compression, no
// time stamp or text chunks, written through a temporary file and a rename.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `rgba` holds width*height*4 bytes, top row first, straight (not
// premultiplied) alpha as PNG stores it.
bool PngWrite(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);
// Reads an 8-bit RGBA or RGB PNG (RGB gets alpha 255). For the tools and tests.
bool PngRead(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgba);
