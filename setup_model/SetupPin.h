// The pin of an online setup: the SHA-256 Authenticode digest of the full
// setup it was built for, kept in the package resource FullSetupPinResID.
// Its decoded content is the 32 bytes of the digest. A downloaded file
// whose digest differs is not the full setup the publisher shipped, and
// since the digest leaves out the signature, signing the full setup after
// the build keeps it valid.
#pragma once

#include <string>

#include "PackageResources.h"
#include "QvAuthenticode.h"
#include "QvSha256.h"

// The resource data (an encoded stream) that pins a setup to digest.
std::string EncodedSetupPin(const TSha256Digest& digest);

// Reads the pin of the package into pin; false when it carries none. A pin
// resource that does not decode, or decodes to anything but 32 bytes,
// raises an error naming it: a damaged pin must not read as no pin.
bool ReadSetupPin(const TResourceReader& reader, TSha256Digest& pin);
