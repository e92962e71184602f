// Build step: voicegen OUT_DIR [--stamp FILE] [--captions TABLE] speaks the
// captions table's lines into the bundle.
#include <cstdio>
#include <string>
#include <vector>

#include "bundle_out.h"
#include "voicegen.h"

int main(int argc, char** argv) {
  std::string dir, stamp, captions = OVANTA_CAPTIONS_SOURCE;
  std::vector<std::string> options;
  if (!BundleOutArgs(argc, argv, "voicegen", &dir, &stamp, &options)) return 2;
  for (size_t i = 0; i < options.size(); i += 2) {
    if (options[i] != "--captions") {
      std::fprintf(stderr, "voicegen: unknown option %s\n", options[i].c_str());
      return 2;
    }
    captions = options[i + 1];
  }
  return SpeakVoiceLines(dir, captions) && BundleOutFinish("voicegen", stamp) ? 0 : 1;
}
