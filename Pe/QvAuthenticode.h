// The digest that an Authenticode signature signs, computed without
// Windows: an online setup holds the SHA-256 digest of its full setup and
// checks the downloaded file against it. The digest leaves out what
// signing changes (the checksum field, the certificate-table entry and the
// certificate table itself), so a setup keeps its digest when its
// publisher signs it after the build.
#pragma once

#include "QvClasses.h"
#include "QvSha256.h"
#include "QvTypes.h"

// The SHA-256 Authenticode digest of the PE image in peFile, read from its
// beginning; the stream's position is left anywhere. The bytes hashed are
// the whole file up to the certificate table (or to its end, unsigned)
// without the 4 bytes of the checksum field and the 8 bytes of the
// certificate-table entry, then zeros up to a multiple of 8 bytes.
// Returns false with the reason in error when the file is not a PE image
// or its certificate table could hide bytes that the loader reads (it
// must lie behind the headers and every section, and end the file).
// Failures of the stream itself raise as its reads do.
bool AuthenticodeSha256(TStream& peFile, TSha256Digest& digest, WideString& error);
