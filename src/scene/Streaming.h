// Bounds-checked read streams for the scene reader.
//
// CSourceStream reads a file held whole in memory; every Read and Skip is
// tested against the end and is never partial. ReadMarker reads the 8-byte
// block header (tag, length) of a scene file, little-endian as stored.
#pragma once

class CResourceFile;

class CStreamResource {
 public:
  virtual ~CStreamResource() {}
  virtual bool Read(void* dst, unsigned int n) = 0;
  virtual bool Skip(unsigned int n) = 0;

  bool ReadMarker(unsigned int& tag, unsigned int& length);
};

class CSourceStream : public CStreamResource {
 public:
  CSourceStream() : m_file(nullptr), m_pos(0) {}
  ~CSourceStream() override;
  CSourceStream(const CSourceStream&) = delete;
  CSourceStream& operator=(const CSourceStream&) = delete;

  bool Init(const char* fileName);
  bool Read(void* dst, unsigned int n) override;
  bool Skip(unsigned int n) override;

  // Bytes not yet read; 0 without a file. Lets the reader refuse counts that
  // the rest of the file could never hold.
  unsigned int Remaining() const;
  unsigned int Position() const { return m_pos; }
  bool HasFile() const { return m_file != nullptr; }

 private:
  CResourceFile* m_file;
  unsigned int m_pos;
};
