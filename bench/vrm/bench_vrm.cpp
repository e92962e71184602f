// Bringing in a character, against its goals (wall time):
//   - the import of her own VRM 0.x export (tools/girlgen), read, converted,
//     her clips retargeted and its folder written: at most 2 s;
//   - the import of a file of 20 MB (the test kit's humanoid with dense
//     skinned meshes and large pictures of our own making): at most 2 s;
//   - the headless tick at 320 x 480 with her 0.x export shown, beside the
//     tick with her, in alternating blocks (as bench_app's es2 over es1):
//     at most 1.2 times hers.
// Each prints its goal and what it measured (kit/goal.h).
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_loop.h"
#include "character/girl.h"
#include "files/bundle.h"
#include "gles/gles.h"
#include "kit/goal.h"
#include "kit/temp_dir.h"
#include "kit/vrm_builder.h"
#include "picture/picture_file.h"
#include "scene/ModelPOD.h"
#include "sound/sound_service.h"
#include "store/user_defaults.h"
#include "vrm/characters.h"

namespace {

const double kUpright[3] = {0, -1, 0};
const std::string kHer0x = std::string(OVANTA_VRM_EXPORTS) + "/ovanta-0.x.vrm";

CPODScene& Clips() {
  static CPODScene* s = [] {
    auto* c = new CPODScene();
    c->ReadFromFile((std::string(OVANTA_BUNDLE) + "/girl_casual.POD").c_str());
    return c;
  }();
  return *s;
}

// Imports `bytes` into a fresh folder each time.
void Import(benchmark::State& state, const std::vector<uint8_t>& bytes, const char* what) {
  benchgoal::WallClock wall;
  for (auto _ : state) {
    testkit::TempDir root;
    wall.Start();
    const vrm::ImportResult r = vrm::ImportCharacter(bytes.data(), bytes.size(), root.path(), Clips());
    wall.Stop();
    if (!r.ok) {
      state.SkipWithError(r.message.c_str());
      return;
    }
  }
  const double mb = bytes.size() / 1048576.0, ms = wall.MeanMs(state);
  state.counters["file_mb"] = mb;
  benchgoal::AtMost(state, "ms", 2000.0, ms);
  std::printf("goal: %s (%.1f MB) imports in at most 2000 ms; measured %.0f ms\n", what, mb, ms);
}

void BM_ImportHerVrm0x(benchmark::State& state) { Import(state, testkit::ReadFileBytes(kHer0x), "her VRM 0.x export"); }
BENCHMARK(BM_ImportHerVrm0x)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The kit's humanoid grown to 20 MB: three 2048 x 2048 pictures of smooth
// colour with a grain (as painted skin and cloth compress), and skinned
// sheets of 40,000 vertices over its bones until the file is that large.
std::vector<uint8_t> TwentyMegabytes() {
  vrm::GlbBuilder g = testkit::TinyVrm();
  const int side = 2048;
  for (int p = 0; p < 3; ++p) {
    std::vector<uint8_t> rgba((size_t)side * side * 4);
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) {
        const uint32_t h = (uint32_t)(x * 73856093u ^ y * 19349663u ^ p * 83492791u);
        uint8_t* px = &rgba[4 * ((size_t)y * side + x)];
        px[0] = (uint8_t)(128 + 100 * std::sin(x * 0.004 + p) + (h & 7));
        px[1] = (uint8_t)(128 + 100 * std::sin(y * 0.003 + x * 0.001) + ((h >> 3) & 7));
        px[2] = (uint8_t)(128 + 90 * std::cos((x + y) * 0.002) + ((h >> 6) & 7));
        px[3] = 255;
      }
    std::vector<uint8_t> png;
    EncodePngBytes(side, side, rgba.data(), &png);
    g.json["textures"].push_back({{"source", g.Image(png, "image/png")}});
    g.json["materials"].push_back(
        {{"name", "grown" + std::to_string(p)},
         {"pbrMetallicRoughness", {{"baseColorTexture", {{"index", g.json["textures"].size() - 1}}}}}});
  }
  const int joints = (int)g.json["skins"][0]["joints"].size();
  for (int sheet = 0; g.Finish().size() < (20u << 20); ++sheet) {
    const int across = 200, down = 200;
    std::vector<float> pos, nrm, uv, weights;
    std::vector<uint16_t> jt;
    std::vector<uint32_t> tri;
    for (int y = 0; y < down; ++y)
      for (int x = 0; x < across; ++x) {
        pos.insert(pos.end(), {x * 0.003f - 0.3f, 0.2f + y * 0.007f, 0.1f + 0.01f * sheet});
        nrm.insert(nrm.end(), {0, 0, 1});
        uv.insert(uv.end(), {x / (float)across, y / (float)down});
        const uint16_t a = (uint16_t)((x + y) % joints), b = (uint16_t)((x + 2 * y + 1) % joints);
        jt.insert(jt.end(), {a, b, 0, 0});
        weights.insert(weights.end(), {0.7f, 0.3f, 0, 0});
      }
    for (int y = 0; y + 1 < down; ++y)
      for (int x = 0; x + 1 < across; ++x) {
        const uint32_t v = (uint32_t)(y * across + x);
        tri.insert(tri.end(), {v, v + 1, v + across, v + 1, v + across + 1, v + across});
      }
    nlohmann::json prim = {{"attributes",
                            {{"POSITION", g.Floats(pos, "VEC3", true)},
                             {"NORMAL", g.Floats(nrm, "VEC3")},
                             {"TEXCOORD_0", g.Floats(uv, "VEC2")},
                             {"JOINTS_0", g.Accessor(jt.data(), jt.size() / 4, 5123, "VEC4")},
                             {"WEIGHTS_0", g.Floats(weights, "VEC4")}}},
                           {"indices", g.Accessor(tri.data(), tri.size(), 5125, "SCALAR")},
                           {"material", 2 + sheet % 3}};
    g.json["meshes"].push_back({{"primitives", {prim}}});
    g.json["nodes"].push_back({{"name", "sheet"}, {"mesh", g.json["meshes"].size() - 1}, {"skin", 0}});
    g.json["scenes"][0]["nodes"].push_back(g.json["nodes"].size() - 1);
  }
  return g.Finish();
}

void BM_ImportTwentyMegabytes(benchmark::State& state) {
  static const std::vector<uint8_t> bytes = TwentyMegabytes();
  Import(state, bytes, "a file of 20 MB");
}
BENCHMARK(BM_ImportTwentyMegabytes)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

void Tick() {
  OvantaAppTick(kUpright);
  SoundServiceAdvanceTicks(1);
  SoundServicePump();
  glFinish();
}

using benchgoal::Median;

// Milliseconds of each of `n` ticks (after a few to settle) with the
// character of `folder` shown, "" for her.
std::vector<double> TickTimes(const std::string& folder, int n) {
  BundleSetRoot(OVANTA_BUNDLE);
  UserDefaultsKeepInMemory();
  SoundServiceUseTicks();
  std::srand(1);
  girl_character_folder = folder;
  std::vector<double> ms;
  if (OvantaAppStart(OvantaAppOptions{kEAGLSurfaceHeadless, 1.0f, kGlesES1})) {
    ms = benchgoal::TimedSteps(n, Tick);
    OvantaAppStop();
  }
  girl_character_folder.clear();
  return ms;
}

void BM_TickImportedOverHers(benchmark::State& state) {
  testkit::TempDir root;
  const vrm::ImportResult r = vrm::ImportCharacterFile(kHer0x, root.path(), Clips());
  if (!r.ok) {
    state.SkipWithError(r.message.c_str());
    return;
  }
  std::vector<double> hers, imported;
  bool measured = false;
  for (auto _ : state)
    measured = benchgoal::PooledBlocks(
        12, [&](bool import) { return TickTimes(import ? r.info.folder : "", 40); }, &hers, &imported);
  if (!measured) {
    state.SkipWithError("no headless GL surface");
    return;
  }
  const double ratio = Median(imported) / Median(hers);
  state.counters["hers_ms"] = Median(hers);
  state.counters["imported_ms"] = Median(imported);
  benchgoal::AtMost(state, "imported_over_hers", 1.2, ratio);
  std::printf(
      "goal: a tick with her 0.x export imported costs at most 1.2 times hers; measured %.3f "
      "(hers %.2f ms, imported %.2f ms)\n",
      ratio, Median(hers), Median(imported));
}
BENCHMARK(BM_TickImportedOverHers)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
