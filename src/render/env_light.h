// Environment light: lights a mesh from a picture instead of GL's lights.
//
// Each vertex looks the picture up at its normal's (x, y), mapped from
// [-1, 1] to [0, 1]. The picture sits on texture unit 1 and modulates the
// mesh's own texture on unit 0. Mesh drawing brackets one mesh's draw calls
// with Apply / Remove; the character loading owns the global `env` and loads
// it from "round.png".
#pragma once

#include <cstdint>

#include "math/Vector.h"

class EnvLight {
 public:
  uint32_t texture = 0;          // GL name of the light picture; 0 when none
  float* coordinates = nullptr;  // (u, v) per vertex between Apply and Remove

  // Loads the picture without mipmaps. The previous texture is not deleted.
  bool Load(const char* name);
  // Computes the coordinates from packed normals and binds the picture on
  // unit 1, which stays the active unit.
  void Apply(int count, const VECTOR3* normals);
  // Turns unit 1 off again and frees the coordinates.
  void Remove();
  // Deletes the texture; safe to call twice.
  void Free();
};

extern EnvLight env;
