// Draws a backdrop the way the frame update does, without the character:
// the same lighting, culling, camera projection and ground shadow, so what
// the preview sheets and the content tests see is what the app shows behind
// her. Needs a current GL context (a headless EAGLView in tools and tests).
#pragma once

class CPODScene;
struct SimpleShadow;

struct BackdropCamera {
  float angle = 0;   // degrees about y
  float dist = 560;  // 150 .. 600
  float panX = 0;    // -200 .. 200
  float panY = -200; // -400 .. -30
};

// Sets the start-up GL state (depth test, the slate clear colour).
void BackdropViewInit();
// Clears, sets light and camera, draws `bg` at `frame` and, when given, the
// ground shadow where she stands.
void BackdropViewDraw(CPODScene* bg, float frame, const BackdropCamera& cam, SimpleShadow* shadow);
