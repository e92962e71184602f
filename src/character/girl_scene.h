// The character's life cycle: one-time start-up, the scene (re)load and its
// release, and the shell through which the main screen reaches all of it.
//
// The main screen controller calls shell.InitApplication once when its view
// has loaded, UpdateScene and RenderScene on every tick that is not paused,
// and QuitApplication on teardown. GirlLoadScene runs only inside the frame
// update, when girl_reload_scene asks for it; user actions never load.
#pragma once

class CPODScene;

class CShell {
 public:
  bool InitApplication();  // GirlInit; always succeeds
  bool QuitApplication();  // releases voices, scenes and shadow when refcount drops to 0
  bool UpdateScene();      // nothing: all per-tick work is in RenderScene
  bool RenderScene();      // RenderFrame(320, 480)
};
extern CShell shell;

// GL state, camera reset, ground shadow, reload requested, refcount + 1.
void GirlInit();
// Releases whatever is loaded, brings the choices into 0..3 and loads both
// scenes, the physics network, the composited character texture and the
// environment light. A scene that fails to load stays empty.
void GirlLoadScene();
// Environment light, every texture and both scenes; safe with nothing loaded.
void GirlReleaseScene();

// Dresses a loaded character scene: composites the skin, hair and outfit
// pictures of the given choices (skin first, hair over it, the outfit over
// both) into one texture, gives it to every material, and applies the
// load-time normal and material fix-ups. Returns the texture name, 0 when the
// skin picture could not be read (the fix-ups still run). The scene loading
// and the preview tools share it.
unsigned int GirlDressModel(CPODScene* girl, int outfit, int hairColour, int skinTone);
