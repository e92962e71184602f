#include "gles/gl_check.h"

#include <cstdio>

void GLprintError(unsigned int error, const char* file, int line) {
  const char* name = "UNKNOWN";
  switch (error) {
    case 0x500: name = "GL_INVALID_ENUM"; break;
    case 0x501: name = "GL_INVALID_VALUE"; break;
    case 0x502: name = "GL_INVALID_OPERATION"; break;
    case 0x503: name = "GL_STACK_OVERFLOW"; break;
    case 0x504: name = "GL_STACK_UNDERFLOW"; break;
    case 0x505: name = "GL_OUT_OF_MEMORY"; break;
    default: break;
  }
  std::printf("gl error %s at %s : %i\n", name, file ? file : "", line);
}

const uint32_t TYPE2GL[15] = {
    0,                  // none
    GL_FLOAT,           // float
    0,                  // int
    GL_UNSIGNED_SHORT,  // unsigned short
    GL_RGBA,            // four colour bytes
    0,                  // ARGB
    0,                  // D3D colour
    GL_RGBA,            // four unsigned bytes
    0,                  // packed normal
    GL_FIXED,           // 16.16 fixed point
    GL_UNSIGNED_BYTE,   // unsigned byte
    GL_SHORT,           // short
    GL_SHORT,           // normalised short
    GL_BYTE,            // byte
    GL_BYTE,            // normalised byte
};
