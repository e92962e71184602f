// The picture and scene generators of the bundle, as functions, so the build
// tools and the benchmarks run the same code. Each writes its files into
// `dir` (which must exist) and returns false, with a message, on a failure.
#pragma once

#include <string>

// The four backdrops (bg_*.POD) and every texture they name.
bool GenerateBackdrops(const std::string& dir);
// round.png, the loading picture and the button icons at 1x and 2x.
bool GenerateArt(const std::string& dir);
