// The names of a setup's package resources, made from what they hold, so
// that the same project and files give the same setup to the byte. They
// keep the form the installer looks resources up by: a GUID in braces,
// upper-case hexadecimal, 38 characters.
#pragma once

#include <string>
#include <vector>

#include "QvSha256.h"
#include "QvTypes.h"

// A name-based GUID of the bytes of name: the SHA-256 of setupkit's own
// namespace and name, cut to 128 bits and marked version 8 (the custom,
// name-based form) with the standard variant.
WideString NameBasedGUID(const std::string& name);

// A file's resource: from its destination ("{app}\docs\README.txt", as the
// script holds it) and its content's digest. occurrence counts the earlier
// files of the same script with the same destination and content (items
// for different conditions may deliver both), from 0, so that no two
// resources of a setup share a name.
WideString FileResourceName(const WideString& destination, const TSha256Digest& content, int occurrence);

// A project file's resource (the picture, a license), from its role
// ("icon", "license-eng", ...) and content.
WideString ProjectResourceName(const char* role, const TSha256Digest& content);

// The SHA-256 of a file, read through buffer (reused from call to call).
TSha256Digest DigestFile(const WideString& path, std::string& buffer);
// The SHA-256 of each file of paths, read on jobs threads (0: one per
// core). The first failure stops the work and is raised here.
std::vector<TSha256Digest> DigestFiles(const std::vector<WideString>& paths, unsigned jobs);

// True for a GUID in registry form: braces, 8-4-4-4-12 hexadecimal digits.
bool IsRegistryGUID(const WideString& s);
