// Where a picture keeps its shape inside an area of another shape: as large
// as fits, centred between bars. The GL surface presents its frames in that
// box (surface/EAGLView.h) and the input handler maps the pointer through
// the same one (input/input.h), so a click lands where it is drawn.
#pragma once

struct LetterboxRect {
  float x, y, width, height;  // x, y from the top left
};

// Where a picture of aspect width / height `aspect` goes in a w x h area:
// as large as fits, centred, on whole pixels. The whole area when it or the
// aspect is not positive.
LetterboxRect Letterbox(int w, int h, float aspect);
