// Streams: the byte containers that the codec, the XML layer and the file
// layer pass around. Positions and sizes are 64-bit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "QvTypes.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // Streams that cannot change size raise EStreamError.
  virtual void SetSize(int64_t newSize);

  int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  virtual int64_t GetSize();

  // Exact forms: a short read raises EReadError("Stream read error"), a short
  // write EWriteError("Stream write error").
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteString(const std::string& bytes) { WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size())); }
  // Copies count bytes from source's position; count 0 copies the whole of
  // source from its beginning. Returns the number of bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A growable block of memory.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : FData(std::move(bytes)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;
  int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }

  void Clear() { FData.clear(); FPosition = 0; }
  // The whole content; Memory() may be written through (size stays).
  char* Memory() { return FData.data(); }
  const char* Memory() const { return FData.data(); }
  const std::string& Bytes() const { return FData; }
  // Replaces the content; the position goes to 0.
  void Assign(std::string bytes) { FData = std::move(bytes); FPosition = 0; }
  std::string TakeBytes() { std::string r = std::move(FData); Clear(); return r; }
  // Replaces the content by source's whole content; position 0.
  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& dest) const;
  void LoadFromFile(const WideString& fileName);
  void SaveToFile(const WideString& fileName) const;

private:
  std::string FData;
  int64_t FPosition = 0;
};

// File modes, as the file layer names them.
enum : uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,  // create or truncate, read and write
};

// A file opened by wide path. Opening failures raise EFOpenError with
// 'Cannot open file "%s". %s', creation failures EFCreateError with
// 'Cannot create file "%s". %s' (full path, then the system's message).
class TFileStream : public TStream {
public:
  TFileStream(const WideString& fileName, uint32_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;
  const WideString& FileName() const { return FFileName; }
  // Flushes and closes; a failing close raises EWriteError. The destructor
  // closes too but cannot report.
  void Close();

private:
  WideString FFileName;
  std::FILE* FFile = nullptr;
  // The C library needs a seek between a write and a following read (and
  // back); this remembers which came last.
  int FLastOp = 0;
};

// A read-only view of bytes owned elsewhere (a resource, a mapped file).
class TReadOnlyMemoryStream : public TStream {
public:
  TReadOnlyMemoryStream(const void* data, int64_t size) : FData(static_cast<const char*>(data)), FSize(size) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetSize() override { return FSize; }

private:
  const char* FData;
  int64_t FSize;
  int64_t FPosition = 0;
};
