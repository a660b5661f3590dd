#include "QvAuthenticode.h"

#include <algorithm>
#include <memory>

#include "QvPeResources.h"
#include "QvSysUtils.h"

namespace {

// The headers are read into memory to be parsed; real images keep them in
// the first few kilobytes. An image whose section table lies beyond this is
// refused rather than read whole.
constexpr int64_t kMaxHeaderBytes = 1 << 20;

WideString Ascii(const std::string& s) { return WideString(s.begin(), s.end()); }

WideString Hex(uint64_t value) { return u"0x" + IntToHex(value, 1); }

// Hashes bytes [from, to) of the stream.
void HashRange(TStream& file, int64_t from, int64_t to, TSha256& hash, char* buffer, int64_t bufferSize) {
  file.SetPosition(from);
  for (int64_t at = from; at < to;) {
    const int64_t piece = std::min(to - at, bufferSize);
    file.ReadBuffer(buffer, piece);
    hash.Update(buffer, static_cast<size_t>(piece));
    at += piece;
  }
}

}  // namespace

bool AuthenticodeSha256(TStream& peFile, TSha256Digest& digest, WideString& error) {
  const int64_t size = peFile.GetSize();
  std::string headers(static_cast<size_t>(std::min(size, kMaxHeaderBytes)), '\0');
  peFile.SetPosition(0);
  peFile.ReadBuffer(&headers[0], static_cast<int64_t>(headers.size()));
  TPeLayout layout;
  try {
    layout = ParsePeLayout(headers);
  } catch (const EPeFormatError& e) {
    error = e.Message();
    if (size > kMaxHeaderBytes) error += u" (within the first " + IntToStr(kMaxHeaderBytes) + u" bytes)";
    return false;
  }

  const bool hasCertEntry = layout.DataDirectories.size() > static_cast<size_t>(PE_DIR_SECURITY);
  const TPeDataDirectory cert = layout.Directory(PE_DIR_SECURITY);
  // An empty entry is an unsigned image, whatever its address says.
  const uint64_t hashEnd = cert.Size ? cert.VirtualAddress : static_cast<uint64_t>(size);
  if (cert.Size) {
    // The certificate table stays out of the digest, so nothing that the
    // loader reads may lie in it, and nothing may follow it: bytes there
    // could be changed without changing the digest.
    if (static_cast<uint64_t>(cert.VirtualAddress) + cert.Size != static_cast<uint64_t>(size)) {
      error = u"not a PE image: the certificate table (at " + Hex(cert.VirtualAddress) + u", " + Hex(cert.Size) +
              u" bytes) does not end the file of " + Hex(static_cast<uint64_t>(size)) + u" bytes";
      return false;
    }
  }
  const uint64_t headersEnd = std::max<uint64_t>(layout.SizeOfHeaders, layout.SectionTableOffset + 40 * layout.Sections.size());
  if (headersEnd > hashEnd) {
    error = cert.Size ? WideString(u"not a PE image: the certificate table overlaps the headers")
                      : u"not a PE image: SizeOfHeaders " + Hex(layout.SizeOfHeaders) + u" runs past the end of the file";
    return false;
  }
  // The loader rounds a section's raw size up to FileAlignment when it maps
  // it, so in a signed image that rounded size must stay clear of the
  // table too: its bytes would otherwise end up in the section.
  const uint32_t align = layout.FileAlignment;
  const bool roundUp = cert.Size && align && !(align & (align - 1));
  for (const TPeSection& s : layout.Sections) {
    if (!s.SizeOfRawData) continue;
    const uint64_t raw = roundUp ? (static_cast<uint64_t>(s.SizeOfRawData) + align - 1) / align * align : s.SizeOfRawData;
    if (static_cast<uint64_t>(s.PointerToRawData) + raw > hashEnd) {
      error = u"not a PE image: section " + Ascii(s.Name) +
              (cert.Size ? WideString(u" overlaps the certificate table") : WideString(u" runs past the end of the file"));
      return false;
    }
  }

  constexpr int64_t kPiece = 1 << 20;
  std::unique_ptr<char[]> buffer(new char[kPiece]);
  TSha256 hash;
  const int64_t checkSum = static_cast<int64_t>(layout.CheckSumOffset);
  const int64_t end = static_cast<int64_t>(hashEnd);
  HashRange(peFile, 0, checkSum, hash, buffer.get(), kPiece);
  if (hasCertEntry) {
    const int64_t entry = static_cast<int64_t>(layout.DataDirectoryOffset) + 8 * PE_DIR_SECURITY;
    HashRange(peFile, checkSum + 4, entry, hash, buffer.get(), kPiece);
    HashRange(peFile, entry + 8, end, hash, buffer.get(), kPiece);
  } else {
    HashRange(peFile, checkSum + 4, end, hash, buffer.get(), kPiece);
  }
  // A signer pads the file to 8 bytes before it appends the table; the
  // same zeros make an unsigned file's digest equal to its signed form's.
  static const char kZeros[8] = {};
  if (end % 8) hash.Update(kZeros, static_cast<size_t>(8 - end % 8));
  digest = hash.Final();
  error.clear();
  return true;
}
