#include "scene/ResourceFile.h"

#include <cstdio>
#include <cstdlib>

std::string CResourceFile::s_DataPath;

CResourceFile::CResourceFile(const char* name) : m_open(false), m_size(0), m_data(nullptr) {
  if (!name) return;
  const std::string path = s_DataPath + name;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  // A size that does not fit the 32-bit stream positions is not a scene of ours.
  if (size < 0 || (unsigned long)size >= 0xFFFFFFFFul || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    return;
  }
  char* buf = static_cast<char*>(std::malloc((size_t)size + 1));
  if (buf) {
    buf[size] = 0;
    if (std::fread(buf, 1, (size_t)size, f) == (size_t)size) {
      m_data = buf;
      m_size = (unsigned int)size;
      m_open = true;
    } else {
      std::free(buf);
    }
  }
  std::fclose(f);
}

CResourceFile::~CResourceFile() {
  if (m_open) {
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_open = false;
  }
}
