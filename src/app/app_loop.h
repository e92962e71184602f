// The application: delegate, window content and the run loop's pieces that
// the phone's kit provided (repeating timer, shared accelerometer), shared by
// the real window (ovanta) and the script driver (ovanta-headless).
//
// One run-loop turn is OvantaAppTick: the accelerometer sample, then the
// timer's `update`, then the window refresh. Touches and actions arrive
// between turns, never during one.
#pragma once

#include <functional>
#include <string>

#include "surface/EAGLView.h"
#include "uikit/uikit.h"

class RootViewController;
class myEAGLview;

// The shared accelerometer: samples go to the delegate when it is set.
struct UIAccelerometer {
  double updateInterval = 0;
  std::function<void(double, double, double)> delegate;
  static UIAccelerometer& sharedAccelerometer();
};

// The repeating timer of the main run loop (one; never invalidated).
void ScheduleRepeatingTimer(double interval, std::function<void()> action);
bool TimerScheduled();

class OvantaAppDelegate {
 public:
  ~OvantaAppDelegate();  // dealloc: navigation controller, then window
  void applicationDidFinishLaunching();
  void applicationWillTerminate() {}

  myEAGLview* window = nullptr;  // the surface everything is drawn on
  UINavigationController* navigationController = nullptr;
};

struct OvantaAppOptions {
  EAGLSurfaceKind surface = kEAGLSurfaceHeadless;
  float scale = 1.0f;       // pixels a point: the GL surface and the interface are drawn this much finer
  GlesKind gl = kGlesAuto;  // the driver's ES 1.1 or our layer over ES 2.0
};

// The GL ES 1.1 the programs draw with: `--gl VALUE` when given (null when
// not), else the environment variable OVANTA_GL, else auto. False when the
// value that counts is not es1, es2 or auto.
bool OvantaGlChoice(const char* flag, GlesKind* gl);

// Starts the app: GL view, interface kit, delegate, main screen. False (with
// a message) when no GL surface can be made.
bool OvantaAppStart(const OvantaAppOptions& options);
// One turn of the run loop with this accelerometer reading. An undrawn turn
// (the window's clock is behind, or nobody can see it: pacing/pacing.h)
// runs her logic and the interface's but draws and presents nothing.
void OvantaAppTick(const double accel[3], bool draw = true);
// Whether the turn running now draws (the main screen's update asks).
bool OvantaTickDraws();
// Whether the next turn has to draw whatever the clock says: a tap is
// answered from the drawn pixels.
bool OvantaAppMustDraw();
// The window drew the view at another pixel scale (it was resized): the GL
// surface and the interface are made again at that scale.
void OvantaAppSetScale(float scale);
// Tears everything down (controller dealloc, kit, surface).
void OvantaAppStop();

// Around the frame update's drawing (RootViewController::update). Where the
// surface keeps its pixels and is read back (headless, or a window shown by
// copy) the frame goes into the scene layer, redrawn only where it changed,
// and the window refresh lays the interface over it (redraw/redraw.h).
// OVANTA_REDRAW=all draws everything straight onto the surface every tick.
void OvantaSceneBegin();
void OvantaSceneEnd();

// Writes the frame last presented, interface included, as an opaque PNG
// (the headless `shot` and the window's F12); on the desktop (app/mascot_app.h)
// with the frame's alpha.
enum FrameWrite { kFrameWritten, kFrameNotRead, kFrameNotWritten };
FrameWrite OvantaWriteFrame(const std::string& path);
// The window's F12: the frame written to `path`, said on standard output,
// or why not on standard error; either way a notice on screen from the next
// frame on (the frame itself is without it). False when nothing was written.
bool OvantaScreenshot(const std::string& path);

OvantaAppDelegate* OvantaApp();
RootViewController* OvantaRoot();
UIViewController* OvantaTopScreen();
myEAGLview* OvantaView();
