#include "gles/gl_check.h"

#include <cstdio>

void GLprintError(unsigned int error, const char* file, int line) {
  const char* name = "UNKNOWN";
  switch (error) {
    case 0x500:
      name = "GL_INVALID_ENUM";
      break;
    case 0x501:
      name = "GL_INVALID_VALUE";
      break;
    case 0x502:
      name = "GL_INVALID_OPERATION";
      break;
    case 0x503:
      name = "GL_STACK_OVERFLOW";
      break;
    case 0x504:
      name = "GL_STACK_UNDERFLOW";
      break;
    case 0x505:
      name = "GL_OUT_OF_MEMORY";
      break;
    default:
      break;
  }
  std::printf("gl error %s at %s : %i\n", name, file ? file : "", line);
}
