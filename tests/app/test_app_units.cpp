// The app's pieces on their own: input framing, the accelerometer sources,
// the navigation slide, the settings editor's tables, the interface in both
// languages (texts, layout, notices, caption lines) and the character's life
// cycle on a headless surface.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>

#include "app/ConfigViewController.h"
#include "app/RootViewController.h"
#include "app/app_input.h"
#include "app/app_loop.h"
#include "app/app_trace.h"
#include "app/help_overlay.h"
#include "app/mascot_app.h"
#include "app/ui_draw.h"
#include "app/ui_text.h"
#include "app/window_input.h"
#include "character/girl.h"
#include "character/girl_frame.h"
#include "character/girl_scene.h"
#include "devices/accelerometer.h"
#include "devices/input_queue.h"
#include "face/face.h"
#include "face/voice_lines.h"
#include "files/bundle.h"
#include "files/files.h"
#include "headless_run.h"
#include "scene/ModelPOD.h"
#include "sound/sound_service.h"
#include "store/user_defaults.h"
#include "surface/EAGLView.h"
#include "uikit/utf8.h"

namespace {

SDL_Event Key(Uint32 type, SDL_Scancode sc) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.scancode = sc;
  return e;
}

TEST(InputQueue, APressAndReleaseInOneFrameSpanTwoFrames) {
  InputQueue q;
  q.Push(Key(SDL_KEYDOWN, SDL_SCANCODE_S));
  q.Push(Key(SDL_KEYUP, SDL_SCANCODE_S));
  q.Push(Key(SDL_KEYDOWN, SDL_SCANCODE_A));
  auto f1 = q.TakeFrame();
  ASSERT_EQ(f1.size(), 1u);
  EXPECT_EQ(f1[0].type, static_cast<Uint32>(SDL_KEYDOWN));
  auto f2 = q.TakeFrame();
  ASSERT_EQ(f2.size(), 2u) << "the release, then what followed it, in order";
  EXPECT_EQ(f2[0].type, static_cast<Uint32>(SDL_KEYUP));
  EXPECT_EQ(f2[1].key.keysym.scancode, SDL_SCANCODE_A);
  EXPECT_TRUE(q.TakeFrame().empty());

  // A release of a key pressed in an earlier frame passes at once; mouse
  // clicks and a finger's tap are split alike (a button tapped on a touch
  // screen is seen down).
  q.Push(Key(SDL_KEYUP, SDL_SCANCODE_A));
  SDL_Event down{}, up{};
  down.type = SDL_MOUSEBUTTONDOWN;
  down.button.button = SDL_BUTTON_LEFT;
  up.type = SDL_MOUSEBUTTONUP;
  up.button.button = SDL_BUTTON_LEFT;
  q.Push(down);
  q.Push(up);
  EXPECT_EQ(q.TakeFrame().size(), 2u);
  EXPECT_EQ(q.TakeFrame().size(), 1u);
  SDL_Event finger_down{}, other_up{}, finger_up{};
  finger_down.type = SDL_FINGERDOWN;
  finger_down.tfinger.fingerId = 7;
  other_up.type = SDL_FINGERUP;
  other_up.tfinger.fingerId = 8;
  finger_up = finger_down;
  finger_up.type = SDL_FINGERUP;
  for (const SDL_Event& e : {finger_down, other_up, finger_up}) q.Push(e);
  EXPECT_EQ(q.TakeFrame().size(), 2u) << "another finger's release is no reason to wait";
  EXPECT_EQ(q.TakeFrame().size(), 1u);
}

// The window's SDL events as the input handler gets them: typed text byte
// for byte (beyond 16 bits too), keys by name with their modifiers, command
// keys once however long they are held, a touch screen's mouse copies dropped,
// a file dropped on the window by its path (a dropped text is no file).
TEST(WindowInput, SdlEventsReachTheHandlerAsTyped) {
  struct Recorder : InputSink {
    std::vector<std::string> keys, texts;
    int moves = 0;
    bool InterfaceAt(float, float) override { return false; }
    bool ViewTakesGestures() override { return true; }
    void InterfacePointer(bool, float, float, bool) override { ++moves; }
    void Touches(const std::vector<TouchPoint>&) override {}
    void Key(const InputKey& k) override { keys.push_back((k.ctrl ? "ctrl+" : "") + k.name); }
    void Text(const std::string& t) override { texts.push_back(t); }
    void FileDropped(const std::string& path) override { files.push_back(path); }
    std::vector<std::string> files;
  } r;
  InputState s;
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  std::snprintf(e.text.text, sizeof e.text.text, "%s", "\xD0\x96\xF0\x9F\x98\x80");
  EXPECT_TRUE(WindowInputTranslate(e, s, r));
  e = Key(SDL_KEYDOWN, SDL_SCANCODE_Q);
  e.key.keysym.sym = SDLK_q;
  e.key.keysym.mod = KMOD_LCTRL;
  WindowInputTranslate(e, s, r);
  e.key.keysym.sym = SDLK_F11;
  e.key.keysym.mod = 0;
  WindowInputTranslate(e, s, r);
  e.key.repeat = 1;  // held: F11 once, Backspace again and again
  WindowInputTranslate(e, s, r);
  e.key.keysym.sym = SDLK_BACKSPACE;
  WindowInputTranslate(e, s, r);
  e = SDL_Event{};
  e.type = SDL_MOUSEMOTION;
  e.motion.which = SDL_TOUCH_MOUSEID;
  WindowInputTranslate(e, s, r);
  EXPECT_EQ(r.texts, std::vector<std::string>{"\xD0\x96\xF0\x9F\x98\x80"});
  EXPECT_EQ(r.keys, (std::vector<std::string>{"ctrl+q", "f11", "backspace"}));
  EXPECT_EQ(r.moves, 0);
  char path[] = "/tmp/her friend.vrm";
  for (Uint32 type : {SDL_DROPTEXT, SDL_DROPFILE}) {
    e.type = type;
    e.drop.file = path;
    WindowInputTranslate(e, s, r);
  }
  EXPECT_EQ(r.files, std::vector<std::string>{path});
  e.type = SDL_QUIT;
  EXPECT_FALSE(WindowInputTranslate(e, s, r));
}

TEST(Accelerometer, EmulatorStandsStillTiltsAndShakes) {
  AccelEmulator em;
  double s[3];
  em.Sample(s);
  EXPECT_NEAR(s[0], 0, 1e-9);
  EXPECT_NEAR(s[1], -1, 1e-9);
  EXPECT_NEAR(s[2], 0, 1e-9);
  for (int i = 0; i < 100; ++i) em.TiltRight(AccelEmulator::kTiltStep);
  EXPECT_FLOAT_EQ(em.roll, AccelEmulator::kTiltLimit);
  em.Sample(s);
  EXPECT_NEAR(std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]), 1.0, 1e-9) << "a tilt is still 1 g";
  em.Reset();
  em.Shake();
  int jerked = 0;
  for (int i = 0; i < 10; ++i) {
    em.Sample(s);
    if (s[1] > 1.0) ++jerked;
  }
  EXPECT_EQ(jerked, AccelEmulator::kShakeSamples);
}

TEST(Accelerometer, IIODeviceReadAndBrokenFilesRefused) {
  ScratchDir dir;
  const std::string dev = dir.file("iio:device3");
  mkdir(dev.c_str(), 0755);
  mkdir(dir.file("iio:device0").c_str(), 0755);  // another sensor without an accelerometer
  std::ofstream(dev + "/in_accel_x_raw") << "0\n";
  std::ofstream(dev + "/in_accel_y_raw") << "-1000\n";
  std::ofstream(dev + "/in_accel_z_raw") << "20\n";
  std::ofstream(dev + "/in_accel_scale") << "0.00980665\n";
  std::string found;
  ASSERT_TRUE(AccelIIOFind(dir.path(), &found));
  EXPECT_EQ(found, dev);
  double s[3];
  ASSERT_TRUE(AccelIIORead(found, s));
  EXPECT_NEAR(s[1], -1.0, 1e-9);
  EXPECT_NEAR(s[2], 0.02, 1e-9);
  std::ofstream(dev + "/in_accel_z_raw") << "garbage\n";
  EXPECT_FALSE(AccelIIORead(found, s));
  std::ofstream(dev + "/in_accel_z_raw") << "nan\n";
  EXPECT_FALSE(AccelIIORead(found, s));
  // A named pipe in a reading's place is refused at once, not waited on.
  ASSERT_EQ(unlink((dev + "/in_accel_z_raw").c_str()), 0);
  ASSERT_EQ(mkfifo((dev + "/in_accel_z_raw").c_str(), 0600), 0);
  EXPECT_FALSE(AccelIIORead(found, s));
  EXPECT_FALSE(AccelIIOFind(dir.file("nowhere"), &found));
}

struct Plain : UIViewController {
  void loadView() override { loads++; }
  void viewDidLoad() override { did++; }
  int loads = 0, did = 0;
};

// (The slide in: AppGolden.MainSettingsDanceAndCulling; the screen shown
// again told so: AppDesktop.*; an unknown action: AppScript.*.)
TEST(Navigation, LoadsEachScreenOnceAndSlidesThePoppedOneOut) {
  UINavigationController nav;
  auto* root = new Plain();
  nav.setRoot(root);
  EXPECT_EQ(root->did, 1);
  auto* top = new Plain();
  nav.pushViewController(top, true);
  EXPECT_EQ(top->loads, 1);
  EXPECT_EQ(top->did, 1);
  for (int i = 0; i < UINavigationController::kSlideFrames; ++i) nav.advance();
  nav.popViewControllerAnimated(true);
  EXPECT_EQ(nav.visible(320).size(), 2u);
  for (int i = 0; i < UINavigationController::kSlideFrames; ++i) nav.advance();
  EXPECT_EQ(nav.depth(), 1u);
  EXPECT_EQ(nav.visible(320).size(), 1u);
}

TEST(SettingsEditor, TitlesAndColoursFollowTheEditedParameter) {
  UIButton cats[6], opts[6];
  for (int i = 0; i < 6; ++i) opButton[i] = &opts[i];
  opNameButton[0] = opNameButton[1] = nullptr;
  for (int r = 2; r < 6; ++r) opNameButton[r] = &cats[r];
  parm_val[PARM_SETTING] = 3;
  parm_val[PARM_HAIR] = 7;  // out of range: no title
  parm_val[PARM_ETHNICITY] = 0;
  parm_val[PARM_LANGUAGE] = 1;
  SetEditParm(PARM_LANGUAGE);
  EXPECT_EQ(cats[2].title(), "Business");
  EXPECT_EQ(cats[3].title(), "");
  EXPECT_EQ(cats[5].title(UIControlStateHighlighted), "Russian");
  EXPECT_EQ(opts[0].title(), "English");
  EXPECT_EQ(opts[2].title(), "") << "the language has two options";
  // The chosen option and the edited category are marked by more than colour,
  // and every title reads at 4.5:1 or better on its key.
  EXPECT_TRUE(opts[1].selected);
  EXPECT_FALSE(opts[0].selected);
  EXPECT_GT(cats[5].fillColor.a, 0.0f);
  EXPECT_EQ(cats[2].fillColor.a, 0.0f);
  auto luminance = [](const UIColor& c) {
    auto lin = [](float v) { return v <= 0.03928f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f); };
    return 0.2126f * lin(c.r) + 0.7152f * lin(c.g) + 0.0722f * lin(c.b);
  };
  for (const UIButton* b : {&cats[2], &cats[5], &opts[0], &opts[1]}) {
    const UIColor key = b->fillColor.a > 0 ? b->fillColor : UIColor::whiteColor();
    const float a = luminance(b->titleColor), k = luminance(key);
    EXPECT_GE((std::max(a, k) + 0.05f) / (std::min(a, k) + 0.05f), 4.5f) << b->title();
  }
  EXPECT_EQ(OptionName(1, 0), nullptr);
  EXPECT_EQ(OptionName(5, 3), nullptr);
  EXPECT_EQ(OptionName(9, 0), nullptr);
  for (auto& b : opButton) b = nullptr;
  for (auto& b : opNameButton) b = nullptr;
}

// The whole app on a headless surface, in English and in Russian.
class AppInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    BundleSetRoot(OVANTA_BUNDLE);
    UserDefaultsKeepInMemory();
    SoundServiceUseTicks();
    ASSERT_TRUE(OvantaAppStart(OvantaAppOptions{kEAGLSurfaceHeadless, 1.0f, kGlesAuto}));
    Tick(2);
  }
  void TearDown() override {
    OvantaAppStop();
    SoundServiceShutdown();
    n_sound_set = 0;
  }
  static void Tick(int n) {
    const double upright[3] = {0, -1, 0};
    for (int i = 0; i < n; ++i) OvantaAppTick(upright);
  }
  // Every text of a settings screen built in language `lang`, with each
  // category's options in turn; and its layout checked on the way.
  static std::vector<std::string> SettingsTexts(int lang) {
    n_sound_set = lang;
    ConfigViewController screen;
    screen.loadViewIfNeeded();
    std::vector<std::string> texts;
    auto visible = [&] {
      std::vector<UIView*> out;
      for (UIView* v : screen.subviews)
        if (!v->hidden && !dynamic_cast<UIPanel*>(v)) out.push_back(v);
      return out;
    };
    for (UIView* v : visible())
      if (auto* l = dynamic_cast<UILabel*>(v)) texts.push_back(l->text);
    texts.push_back(screen.tvName->placeholder);
    for (Parameter p : {PARM_SETTING, PARM_HAIR, PARM_ETHNICITY, PARM_LANGUAGE}) {
      SetEditParm(p);
      const CGRect cat = opNameButton[p]->frame, panel = opPanel->frame;
      EXPECT_TRUE(cat.y < panel.y + panel.height && panel.y < cat.y + cat.height)
          << "the options of " << p << " are beside their category";
      for (UIView* v : visible()) {
        // (The character key shows the character's own name.)
        if (auto* b = dynamic_cast<UIButton*>(v); b && b != screen.opCharacter) texts.push_back(b->title());
        for (UIView* w : visible()) {
          const bool overlap = v != w && v->frame.x < w->frame.x + w->frame.width &&
                               w->frame.x < v->frame.x + v->frame.width && v->frame.y < w->frame.y + w->frame.height &&
                               w->frame.y < v->frame.y + v->frame.height;
          EXPECT_FALSE(overlap) << "category " << p << ": controls at y " << v->frame.y << " and " << w->frame.y;
        }
      }
    }
    return texts;
  }
};

// With Russian chosen, every text of the settings screen and the help reads
// in Russian (none left in its English source); the screen lays each
// category's options beside it with nothing overlapping, in both.
TEST_F(AppInterface, SettingsAndHelpSpeakTheVoiceLanguage) {
  const std::vector<std::string> en = SettingsTexts(0), ru = SettingsTexts(1);
  ASSERT_EQ(en.size(), ru.size());
  for (size_t i = 0; i < en.size(); ++i)
    if (!en[i].empty()) {
      EXPECT_NE(en[i], ru[i]) << "not in Russian";
    }
  n_sound_set = 0;
  const UIOverlay help_en = HelpContent();
  n_sound_set = 1;
  const UIOverlay help_ru = HelpContent();
  EXPECT_NE(help_en.title, help_ru.title);
  EXPECT_NE(help_en.footer, help_ru.footer);
  for (size_t i = 0; i < help_en.rows.size(); ++i) EXPECT_NE(help_en.rows[i].text, help_ru.rows[i].text);
}

// M and F12 say what they did, in the interface's language, for a moment;
// a frame that cannot be written says so on screen and on standard error.
TEST_F(AppInterface, NoticesSayWhatMAndF12Did) {
  UILabel* notice = OvantaRoot()->noticeLabel;
  AppInputSink().Key(InputKey{"m"});
  Tick(1);
  EXPECT_FALSE(notice->hidden);
  EXPECT_EQ(notice->text, UiText("Sound off"));
  Tick(60);
  EXPECT_TRUE(notice->hidden) << "gone after a moment";
  n_sound_set = 1;
  AppInputSink().Key(InputKey{"m"});
  Tick(1);
  EXPECT_EQ(notice->text, UiText("Sound on"));
  EXPECT_NE(notice->text, "Sound on");

  ScratchDir dir;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(OvantaScreenshot(dir.file("shot.png")));
  testing::internal::GetCapturedStdout();
  Tick(1);
  Picture shot;
  EXPECT_TRUE(ReadPicture(dir.file("shot.png"), shot));
  EXPECT_NE(notice->text.find("shot.png"), std::string::npos);
  const std::string saved = notice->text;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(OvantaScreenshot(dir.file("no/such/folder/shot.png")));
  const std::string err = testing::internal::GetCapturedStderr();
  Tick(1);
  EXPECT_NE(err.find(dir.file("no/such/folder/shot.png")), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(notice->text.find("shot.png"), std::string::npos);
  EXPECT_NE(notice->text, saved) << "a failure does not read as saved";
}

// Ticks that draw nothing (the window's, when late or unseen) run what drawn
// ticks run: the same trace tick for tick, a click pressed and released over
// two of them, and the next drawn frame the same pixels, redrawn where it
// changed since the last frame drawn.
TEST_F(AppInterface, UndrawnTicksChangeNothingButThePixels) {
  ScratchDir dir;
  // `drawn(tick)`: whether the tick draws.
  const auto run = [&](const std::string& name, const std::function<bool(int)>& drawn) {
    OvantaAppStop();
    ASSERT_TRUE(OvantaAppStart(OvantaAppOptions{kEAGLSurfaceHeadless, 1.0f, kGlesAuto}));
    std::srand(1);
    FaceReset(1);
    continue_dancing = 0;  // left by the last run's dance
    ASSERT_TRUE(TraceOpen(dir.file(name + ".jsonl")));
    const double upright[3] = {0, -1, 0};
    for (int tick = 1; tick <= 60; ++tick) {
      if (tick == 31) InputPointerDown(AppInputState(), AppInputSink(), 160, 440, false);  // the dance button
      if (tick == 32) InputPointerUp(AppInputState(), AppInputSink(), 160, 440);
      const bool draw = drawn(tick);
      TraceBeforeTick();
      OvantaAppTick(upright, draw);
      TraceAfterTick(tick, draw);
    }
    ASSERT_TRUE(TraceClose());
    ASSERT_EQ(OvantaWriteFrame(dir.file(name + ".png")), kFrameWritten);
  };
  run("drawn", [](int) { return true; });
  // Drawn before the click, then not until the dance is well under way.
  run("undrawn", [](int tick) { return tick < 30 || tick == 60; });
  std::ifstream drawn(dir.file("drawn.jsonl")), undrawn(dir.file("undrawn.jsonl"));
  std::string a, b, undrawn_mark = ",\"drawn\":false";
  int lines = 0, marked = 0;
  bool danced = false;
  while (std::getline(drawn, a) && std::getline(undrawn, b)) {
    const size_t mark = b.find(undrawn_mark);
    if (mark != std::string::npos) {
      b.erase(mark, undrawn_mark.size());
      ++marked;
    }
    EXPECT_EQ(a, b) << "line " << lines;
    danced = danced || a.find("danceButton2") != std::string::npos;
    ++lines;
  }
  EXPECT_GE(lines, 60);
  EXPECT_EQ(marked, 30);
  EXPECT_TRUE(danced) << "the click over two undrawn ticks started the dance";
  EXPECT_EQ(testkit::Difference(dir.file("drawn.png"), dir.file("undrawn.png")).mean, 0.0);
}

// On the desktop the surface keeps each frame presented, reading back only
// what changed: after every tick, drawn or not, through her idle motion, a
// tap, a new zoom and the way back from the normal window, the kept frame is
// the framebuffer's and her silhouette is that of the framebuffer's pixels.
TEST_F(AppInterface, OnTheDesktopTheKeptFrameIsTheDrawnFrame) {
  Mascot().on = true;
  const double upright[3] = {0, -1, 0};
  std::vector<uint8_t> read;
  int compared = 0, undrawn = 0;
  for (int tick = 1; tick <= 40; ++tick) {
    if (tick == 12) InputPointerDown(AppInputState(), AppInputSink(), 160, 200, false);
    if (tick == 13) InputPointerUp(AppInputState(), AppInputSink(), 160, 200);
    if (tick == 20) OvantaAppSetScale(1.5f);
    if (tick == 28) Mascot().on = false;
    if (tick == 30) Mascot().on = true;
    const bool draw = tick % 7 != 3;
    const long before = OvantaView()->eagl()->keptChanges();
    OvantaAppTick(upright, draw);
    EAGLView* view = OvantaView()->eagl();
    if (!Mascot().on) {
      EXPECT_TRUE(view->keptFrame().empty()) << "tick " << tick << ": no copy kept in the normal window";
      continue;
    }
    if (!draw) {
      EXPECT_EQ(view->keptChanges(), before) << "tick " << tick;
      ++undrawn;
    }
    ASSERT_TRUE(EAGLViewReadPixels(view, read));
    ASSERT_TRUE(view->keptFrame() == read) << "tick " << tick;
    const EAGLSize size = view->surfaceSize();
    const MascotSilhouette s =
        MascotSilhouetteOf(read.data(), static_cast<int>(size.width), static_cast<int>(size.height));
    EXPECT_EQ(Mascot().silhouette.box, s.box) << "tick " << tick;
    EXPECT_EQ(Mascot().silhouette.area, s.area) << "tick " << tick;
    ++compared;
  }
  EXPECT_GE(compared, 35);
  EXPECT_GE(undrawn, 4);
  Mascot() = MascotState();
}

// Every caption she can say breaks into lines of about even length, never
// leaving a word alone on the last one.
TEST_F(AppInterface, CaptionLinesAreBalanced) {
  std::vector<CaptionLine> lines;
  std::string text, error;
  struct stat st;
  ASSERT_EQ(FileReadText((std::string(OVANTA_BUNDLE) + "/captions.txt").c_str(), 1 << 20, &text, &st), kFileOk);
  ASSERT_TRUE(CaptionsParse(text, &lines, &error)) << error;
  Tick(3);  // her greeting: the caption takes its place on screen
  ASSERT_FALSE(OvantaRoot()->captionLabel->hidden);
  UILabel label = *OvantaRoot()->captionLabel;
  int wrapped = 0;
  for (const CaptionLine& c : lines) {
    label.text = c.text;
    const std::vector<std::string> drawn = UIKitLabelLines(label);
    ASSERT_FALSE(drawn.empty()) << c.name;
    if (drawn.size() < 2) continue;
    ++wrapped;
    size_t shortest = SIZE_MAX, longest = 0;
    for (const std::string& l : drawn) {
      shortest = std::min(shortest, Utf8Count(l));
      longest = std::max(longest, Utf8Count(l));
    }
    EXPECT_NE(drawn.back().find(' '), std::string::npos) << c.name << ": a word alone on the last line";
    EXPECT_GE(shortest * 2, longest) << c.name << ": lines of uneven length";
  }
  EXPECT_GT(wrapped, 0) << "some captions take two lines";
}

TEST(CharacterLifeCycle, InitLoadReleaseAndQuitTwice) {
  EAGLView* view = EAGLView::CreateHeadless(320, 480);
  ASSERT_NE(view, nullptr);
  BundleSetRoot(OVANTA_BUNDLE);
  SoundServiceUseTicks();
  UITextField name;
  girlname = &name;
  EXPECT_TRUE(shell.InitApplication());
  EXPECT_EQ(refcount, 1);
  EXPECT_TRUE(girl_reload_scene);
  n_hair = -2;
  n_clothes = 6;
  EXPECT_TRUE(shell.RenderScene());
  EXPECT_FALSE(girl_reload_scene);
  EXPECT_TRUE(frame_report.reloaded);
  ASSERT_NE(girl_model, nullptr);
  ASSERT_NE(bg, nullptr);
  EXPECT_GT(girl_model->meshNodeCount, 0u);
  EXPECT_EQ(n_hair, 2);
  EXPECT_EQ(n_clothes, 2);
  EXPECT_EQ(n_background, 1) << "the backdrop follows its own stored value, reduced alike";
  // A second load releases first and gives the same scene again.
  GirlLoadScene();
  ASSERT_NE(girl_model, nullptr);
  GirlReleaseScene();
  GirlReleaseScene();
  EXPECT_EQ(girl_model, nullptr);
  EXPECT_EQ(bg, nullptr);
  EXPECT_TRUE(shell.QuitApplication());
  EXPECT_EQ(refcount, 0);
  EXPECT_TRUE(shell.QuitApplication());
  EXPECT_EQ(refcount, 0);
  girlname = nullptr;
  delete view;
  SoundServiceShutdown();
}

}  // namespace
