// Streams. The file stream sits on the C library's FILE; opening by wide
// path, 64-bit seeking and truncation differ by host and live in
// QvClasses_win.cpp and QvClasses_posix.cpp.
#include "QvClasses.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace qvclasses_detail {
// Opens fileName for the access and sharing of mode (create: create or
// truncate). On failure returns null and error holds the system's code.
std::FILE* OpenFile(const WideString& fileName, uint32_t mode, bool create, int& error);
bool SeekFile(std::FILE* f, int64_t offset, int whence);
int64_t TellFile(std::FILE* f);
bool TruncateFile(std::FILE* f, int64_t size);
}  // namespace qvclasses_detail

namespace {

[[noreturn]] void InvalidPosition() { throw EStreamError(u"Invalid stream position"); }

// Position arithmetic shared by the memory streams: a result before the
// beginning raises, one beyond the end is allowed.
int64_t NewPosition(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size) {
  int64_t base = 0;
  switch (origin) {
    case TSeekOrigin::soBeginning: base = 0; break;
    case TSeekOrigin::soCurrent: base = position; break;
    case TSeekOrigin::soEnd: base = size; break;
  }
  if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset)) InvalidPosition();
  const int64_t p = base + offset;
  if (p < 0) InvalidPosition();
  return p;
}

constexpr int64_t kCopyChunk = 1 << 16;
// fread and fwrite count in size_t, which is 32 bits in the Windows build.
constexpr int64_t kIoChunk = 1 << 30;

}  // namespace

// ---- TStream ---------------------------------------------------------------

void TStream::SetSize(int64_t) { throw EStreamError(u"Stream size cannot be changed"); }

int64_t TStream::GetSize() {
  const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count < 0 || (count > 0 && Read(buffer, count) != count)) throw EReadError(u"Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count < 0 || (count > 0 && Write(buffer, count) != count)) throw EWriteError(u"Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count < 0) throw EReadError(u"Stream read error");
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  std::string buf(static_cast<size_t>(std::min(count, kCopyChunk)), '\0');
  int64_t left = count;
  while (left > 0) {
    const int64_t n = std::min(left, kCopyChunk);
    source.ReadBuffer(&buf[0], n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return count;
}

// ---- TMemoryStream ---------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = static_cast<int64_t>(FData.size());
  if (count <= 0 || FPosition >= size) return 0;
  const int64_t n = std::min(count, size - FPosition);
  std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

// A write beyond the end first fills the gap with zeros.
int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (count > std::numeric_limits<int64_t>::max() - FPosition ||
      static_cast<uint64_t>(FPosition + count) > FData.max_size())
    return 0;
  const int64_t end = FPosition + count;
  if (end > static_cast<int64_t>(FData.size())) FData.resize(static_cast<size_t>(end));
  std::memcpy(&FData[static_cast<size_t>(FPosition)], buffer, static_cast<size_t>(count));
  FPosition = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  FPosition = NewPosition(offset, origin, FPosition, static_cast<int64_t>(FData.size()));
  return FPosition;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0 || static_cast<uint64_t>(newSize) > FData.max_size())
    throw EStreamError(u"Invalid stream size " + IntToStr(newSize));
  FData.resize(static_cast<size_t>(newSize));
  if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const int64_t size = source.GetSize();
  if (size < 0 || static_cast<uint64_t>(size) > FData.max_size()) throw EReadError(u"Stream read error");
  std::string data(static_cast<size_t>(size), '\0');
  source.ReadBuffer(&data[0], size);
  FData = std::move(data);
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& dest) const {
  dest.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TMemoryStream::LoadFromFile(const WideString& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const WideString& fileName) const {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
  f.Close();
}

// ---- TFileStream -----------------------------------------------------------

namespace {
enum { kOpNone = 0, kOpRead = 1, kOpWrite = 2 };
}

TFileStream::TFileStream(const WideString& fileName, uint32_t mode) : FFileName(fileName) {
  const bool create = (mode & fmCreate) == fmCreate;
  int error = 0;
  FFile = qvclasses_detail::OpenFile(fileName, mode, create, error);
  if (!FFile) {
    const WideString text = u"\"" + ExpandFileName(fileName) + u"\". " + SysErrorMessage(error);
    if (create) throw EFCreateError(u"Cannot create file " + text);
    throw EFOpenError(u"Cannot open file " + text);
  }
}

TFileStream::~TFileStream() {
  if (FFile) std::fclose(FFile);
}

void TFileStream::Close() {
  if (!FFile) return;
  std::FILE* f = FFile;
  FFile = nullptr;
  if (std::fclose(f) != 0) throw EWriteError(u"Stream write error");
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (!FFile || count <= 0) return 0;
  if (FLastOp == kOpWrite && !qvclasses_detail::SeekFile(FFile, 0, SEEK_CUR)) return 0;
  FLastOp = kOpRead;
  auto* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const size_t want = static_cast<size_t>(std::min(count - done, kIoChunk));
    const size_t got = std::fread(p + done, 1, want, FFile);
    done += static_cast<int64_t>(got);
    if (got < want) break;
  }
  // A read that hit the end leaves the EOF flag set; clear it so a later
  // write or seek beyond the end still works.
  std::clearerr(FFile);
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (!FFile || count <= 0) return 0;
  if (FLastOp == kOpRead && !qvclasses_detail::SeekFile(FFile, 0, SEEK_CUR)) return 0;
  FLastOp = kOpWrite;
  const auto* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const size_t want = static_cast<size_t>(std::min(count - done, kIoChunk));
    const size_t put = std::fwrite(p + done, 1, want, FFile);
    done += static_cast<int64_t>(put);
    if (put < want) break;
  }
  std::clearerr(FFile);
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (!FFile) throw EStreamError(u"Stream is closed: " + FFileName);
  if (origin == TSeekOrigin::soCurrent && offset == 0) {
    const int64_t p = qvclasses_detail::TellFile(FFile);
    if (p < 0) InvalidPosition();
    return p;
  }
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  if (origin == TSeekOrigin::soBeginning && offset < 0) InvalidPosition();
  if (!qvclasses_detail::SeekFile(FFile, offset, whence)) InvalidPosition();
  FLastOp = kOpNone;
  const int64_t p = qvclasses_detail::TellFile(FFile);
  if (p < 0) InvalidPosition();
  return p;
}

void TFileStream::SetSize(int64_t newSize) {
  if (!FFile) throw EStreamError(u"Stream is closed: " + FFileName);
  if (newSize < 0) throw EStreamError(u"Invalid stream size " + IntToStr(newSize));
  const int64_t pos = GetPosition();
  if (std::fflush(FFile) != 0 || !qvclasses_detail::TruncateFile(FFile, newSize))
    throw EStreamError(u"Cannot change the size of \"" + FFileName + u"\". " + SysErrorMessage(GetLastOSError()));
  Seek(std::min(pos, newSize), TSeekOrigin::soBeginning);
}

// ---- TReadOnlyMemoryStream -------------------------------------------------

int64_t TReadOnlyMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || FPosition >= FSize) return 0;
  const int64_t n = std::min(count, FSize - FPosition);
  std::memcpy(buffer, FData + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TReadOnlyMemoryStream::Write(const void*, int64_t) { return 0; }

int64_t TReadOnlyMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  FPosition = NewPosition(offset, origin, FPosition, FSize);
  return FPosition;
}
