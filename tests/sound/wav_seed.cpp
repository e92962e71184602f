// Writes the seed corpus of wav_fuzz: small valid files of every sample
// format the decoder accepts, plus an extensible one with an extra chunk.
#include <string>

#include "kit/wav_fixture.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  using namespace wavtest;
  const std::string dir = argv[1];
  int n = 0;
  const uint16_t formats[][2] = {{1, 8}, {1, 16}, {1, 24}, {1, 32}, {3, 32}, {3, 64}};
  for (const auto& f : formats) {
    WavSpec s;
    s.tag = f[0];
    s.bits = f[1];
    s.channels = 2;
    if (!WriteFile(dir + "/seed" + std::to_string(n++) + ".wav",
                   MakeWav(s, std::vector<uint8_t>(8 * s.bits / 8 * 2, 0x11))))
      return 1;
  }
  WavSpec ext;
  ext.tag = 0xFFFE;
  ext.sub_tag = 1;
  ext.list_chunk = true;
  return WriteFile(dir + "/seed" + std::to_string(n) + ".wav", MakeWav(ext, {1, 2, 3, 4})) ? 0 : 1;
}
