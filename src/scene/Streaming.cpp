#include "scene/Streaming.h"

#include <cstring>

#include "scene/ResourceFile.h"

bool CStreamResource::ReadMarker(unsigned int& tag, unsigned int& length) {
  if (!Read(&tag, 4)) return false;
  return Read(&length, 4);
}

CSourceStream::~CSourceStream() { delete m_file; }

bool CSourceStream::Init(const char* fileName) {
  InitFromMemory(nullptr, 0);
  if (!fileName) return false;
  m_file = new CResourceFile(fileName);
  if (!m_file->IsOpen()) {
    delete m_file;
    m_file = nullptr;
    return false;
  }
  return InitFromMemory(m_file->StringPtr(), m_file->Size());
}

bool CSourceStream::InitFromMemory(const void* data, unsigned int size) {
  if (m_file && data != m_file->StringPtr()) {
    delete m_file;
    m_file = nullptr;
  }
  m_data = static_cast<const char*>(data);
  m_size = data ? size : 0;
  m_pos = 0;
  return m_data != nullptr;
}

unsigned int CSourceStream::Remaining() const { return m_size - m_pos; }

bool CSourceStream::Read(void* dst, unsigned int n) {
  if (!m_data || n > Remaining()) return false;
  if (n) std::memcpy(dst, m_data + m_pos, n);
  m_pos += n;
  return true;
}

bool CSourceStream::Skip(unsigned int n) {
  if (!m_data || n > Remaining()) return false;
  m_pos += n;
  return true;
}
