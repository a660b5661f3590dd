// SHA-256 of our own (FIPS 180-4). The Windows build has no OpenSSL, and
// the installer needs the digest to check a downloaded setup, so both
// builds use this one; it is small enough to read in one sitting.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using TSha256Digest = std::array<uint8_t, 32>;

class TSha256 {
public:
  TSha256() { Reset(); }
  void Reset();
  void Update(const void* data, size_t size);
  void Update(const std::string& bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything given since the last Reset; the object is
  // reset afterwards, ready for the next message.
  TSha256Digest Final();

  // One message at once.
  static TSha256Digest Of(const std::string& bytes);

  // True when the processor's SHA extensions compute the digests.
  static bool HardwareAvailable();
  // Makes this object use the portable code alone, so that tests can
  // compare the two.
  void UsePortableCode() { FPortableOnly = true; }

private:
  void Blocks(const uint8_t* blocks, size_t count);
  void Block(const uint8_t* block);
  bool FPortableOnly = false;
  uint32_t FState[8];
  uint8_t FBuffer[64];
  size_t FUsed;        // bytes waiting in FBuffer
  uint64_t FLength;    // message length so far, in bytes
};

// Lower-case hexadecimal, 64 characters.
std::string DigestToHex(const TSha256Digest& digest);
