// Bounds-checked read streams for the scene reader.
//
// CSourceStream reads a file held whole in memory, or bytes the caller holds;
// every Read and Skip is tested against the end and is never partial. ReadMarker reads the 8-byte
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
  CSourceStream() = default;
  ~CSourceStream() override;
  CSourceStream(const CSourceStream&) = delete;
  CSourceStream& operator=(const CSourceStream&) = delete;

  bool Init(const char* fileName);
  // Reads `size` bytes at `data`, which stay the caller's and must outlive
  // the stream. False (nothing to read) for null data.
  bool InitFromMemory(const void* data, unsigned int size);
  bool Read(void* dst, unsigned int n) override;
  bool Skip(unsigned int n) override;

  // Bytes not yet read; 0 without a file. Lets the reader refuse counts that
  // the rest of the file could never hold.
  unsigned int Remaining() const;
  unsigned int Position() const { return m_pos; }
  bool HasFile() const { return m_data != nullptr; }

 private:
  CResourceFile* m_file = nullptr;  // owned when reading a file
  const char* m_data = nullptr;
  unsigned int m_size = 0;
  unsigned int m_pos = 0;
};
