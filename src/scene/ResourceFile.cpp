#include "scene/ResourceFile.h"

#include <cerrno>
#include <cstdlib>

#include "files/files.h"

std::string CResourceFile::s_DataPath;

CResourceFile::CResourceFile(const char* name) : m_open(false), m_size(0), m_data(nullptr) {
  if (!name) return;
  const std::string path = s_DataPath + name;
  // A size that does not fit the 32-bit stream positions is not a scene of
  // ours; a pipe or a device is no scene either and must not block the read.
  char* buf = nullptr;
  size_t size = 0;
  struct stat st {};
  const FileStatus read = FileReadAll(path.c_str(), 0xFFFFFFFEul, &buf, &size, &st);
  if (read != kFileOk) {
    m_problem = FileStatusText(read, st, errno);
    return;
  }
  m_data = buf;
  m_size = static_cast<unsigned int>(size);
  m_open = true;
}

CResourceFile::~CResourceFile() {
  if (m_open) {
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_open = false;
  }
}
