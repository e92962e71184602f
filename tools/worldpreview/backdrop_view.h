// Draws a backdrop the way the frame update does: the same lighting, culling,
// camera projection and ground shadow, with her standing in it when the
// bundle holds the character, so what the preview sheets and the content
// tests see is what the app shows. Needs a current GL context (a headless
// EAGLView in tools and tests).
#pragma once

class CPODScene;
struct SimpleShadow;

struct BackdropCamera {
  float angle = 0;    // degrees about y
  float dist = 560;   // 150 .. 600
  float panX = 0;     // -200 .. 200
  float panY = -200;  // -400 .. -30
};

// Sets the start-up GL state (depth test, the slate clear colour).
void BackdropViewInit();
// Loads her in an outfit, hair colour and skin tone (0..3 each) as the scene
// loading does: model, skin + hair + outfit composite, material fix-ups.
// False, leaving `girl` empty, when the bundle has no character.
bool BackdropLoadCharacter(CPODScene* girl, int outfit, int hairColour, int skinTone);

// Clears, sets light and camera, draws `backdrop` at `frame`, then (when given)
// her at `girlFrame` and the ground shadow where she stands. With
// `everyFace` the backdrop's back faces are drawn too (the frame update
// culls those of its opaque meshes), for tests to compare.
void BackdropViewDraw(CPODScene* backdrop, float frame, const BackdropCamera& cam, SimpleShadow* shadow,
                      CPODScene* girl = nullptr, float girlFrame = 0, bool everyFace = false);
