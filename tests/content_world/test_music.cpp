// The dance music against her dance: an oracle from the two generated files
// themselves. Her steps land where her hips are lowest in each pass of the
// dance loop (read from her model's animation); the music's kick drum must
// start there, and the music must be a whole number of passes that joins
// its own start without a click.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "content_files.h"
#include "rig/girl_clips.h"
#include "scene/ModelPOD.h"
#include "voice_dsp.h"

namespace {

// Frames of the drawn dance loop where the hips are lowest.
std::vector<int> Landings() {
  CPODScene scene;
  std::vector<int> out;
  if (!scene.ReadFromFile(BundleFile(std::string(kOutfitModels[1]) + ".POD").c_str())) return out;
  const SPODNode* hips = nullptr;
  for (uint32_t i = 0; i < scene.nodeCount; ++i)
    if (std::string(scene.nodes[i].name) == "hips") hips = &scene.nodes[i];
  if (!hips || !(hips->animationFlags & 1)) return out;
  auto y = [&](int f) { return hips->positions[f * 3 + 1]; };
  const int first = kDanceFirstDrawnFrame, n = kDancePassFrames;
  for (int k = 0; k < n; ++k) {
    // The loop is periodic: its neighbours wrap round.
    const int f = first + k, before = first + (k + n - 1) % n, after = first + (k + 1) % n;
    if (y(f) < y(before) && y(f) <= y(after)) out.push_back(k);
  }
  return out;
}

}  // namespace

TEST(DanceMusic, TheKickLandsOnHerStepsAndTheLoopIsWholePasses) {
  const std::vector<int> landings = Landings();
  ASSERT_GE(landings.size(), 4u) << "she bounces in the dance loop";
  std::vector<uint8_t> bytes;
  WavInfo wav;
  std::string error;
  ASSERT_TRUE(ReadBytes(BundleFile("dance.wav"), bytes));
  ASSERT_TRUE(WavParse(bytes, wav, error)) << error;
  ASSERT_EQ(wav.channels, 1);
  const double pass = kDancePassFrames / 30.0;
  const double seconds = static_cast<double>(wav.samples.size()) / wav.rate;
  const int passes = static_cast<int>(std::lround(seconds / pass));
  ASSERT_GE(passes, 1);
  EXPECT_NEAR(seconds, passes * pass, 1.0 / wav.rate) << "a whole number of dance passes";
  EXPECT_LT(std::abs(wav.samples.front() - wav.samples.back()), 2000) << "the loop joins its start";

  // The low end through an envelope follower (2 ms attack, 60 ms release);
  // a kick is where it rises through half its height after falling to a quarter. Run over the loop
  // twice, so the second time starts with the end's tail, as it plays.
  const size_t n = wav.samples.size();
  const double a = 1.0 - std::exp(-2 * M_PI * 90.0 / wav.rate);
  const double attack = 1.0 - std::exp(-1.0 / (0.002 * wav.rate)), release = 1.0 - std::exp(-1.0 / (0.06 * wav.rate));
  std::vector<double> env(n);
  double y1 = 0, y2 = 0, follow = 0, peak = 0;
  for (size_t i = 0; i < 2 * n; ++i) {
    y1 += a * (wav.samples[i % n] - y1);
    y2 += a * (y1 - y2);
    const double e = std::fabs(y2);
    follow += (e > follow ? attack : release) * (e - follow);
    if (i >= n) env[i - n] = follow, peak = std::max(peak, follow);
  }
  std::vector<double> kicks;          // seconds
  bool armed = env[0] < 0.25 * peak;  // again only once it has fallen well back
  for (size_t i = 1; i < n; ++i) {
    if (armed && env[i] > 0.5 * peak) kicks.push_back(static_cast<double>(i) / wav.rate), armed = false;
    if (env[i] < 0.25 * peak) armed = true;
  }
  EXPECT_EQ(kicks.size(), landings.size() * passes) << "one kick for each step";
  for (int p = 0; p < passes; ++p)
    for (int k : landings) {
      const double at = p * pass + k / 30.0;
      double nearest = 1e9;
      for (double t : kicks) nearest = std::min(nearest, std::fabs(t - at));
      EXPECT_LT(nearest, 0.015) << "no kick within 15 ms of her step at " << at << " s";
    }
}
