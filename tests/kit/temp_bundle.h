// A TempDir that is the resource bundle's folder while it lives, for the
// tests of what reads the bundle (inline, and apart from kit/temp_dir.h, so
// that only they see and link the platform library).
#pragma once

#include "files/bundle.h"
#include "kit/temp_dir.h"

namespace testkit {

class TempBundle : public TempDir {
 public:
  TempBundle() { BundleSetRoot(path().c_str()); }
  ~TempBundle() { BundleSetRoot(nullptr); }
};

}  // namespace testkit
