#include "scene/Streaming.h"

#include <cstring>

#include "scene/ResourceFile.h"

bool CStreamResource::ReadMarker(unsigned int& tag, unsigned int& length) {
  if (!Read(&tag, 4)) return false;
  return Read(&length, 4);
}

CSourceStream::~CSourceStream() { delete m_file; }

bool CSourceStream::Init(const char* fileName) {
  m_pos = 0;
  delete m_file;
  m_file = nullptr;
  if (!fileName) return false;
  m_file = new CResourceFile(fileName);
  if (!m_file->IsOpen()) {
    delete m_file;
    m_file = nullptr;
    return false;
  }
  return true;
}

unsigned int CSourceStream::Remaining() const { return m_file ? m_file->Size() - m_pos : 0; }

bool CSourceStream::Read(void* dst, unsigned int n) {
  if (!m_file || n > Remaining()) return false;
  if (n) std::memcpy(dst, m_file->StringPtr() + m_pos, n);
  m_pos += n;
  return true;
}

bool CSourceStream::Skip(unsigned int n) {
  if (!m_file || n > Remaining()) return false;
  m_pos += n;
  return true;
}
