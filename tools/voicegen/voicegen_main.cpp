// Build step: voicegen OUT_DIR [--stamp FILE] speaks the voice lines into the bundle.
#include <string>

#include "bundle_out.h"
#include "voicegen.h"

int main(int argc, char** argv) {
  std::string dir, stamp;
  if (!BundleOutArgs(argc, argv, "voicegen", &dir, &stamp)) return 2;
  return SpeakVoiceLines(dir) && BundleOutFinish("voicegen", stamp) ? 0 : 1;
}
