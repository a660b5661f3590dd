// Builds full and online setups from a project file: the product's files,
// icon and license texts, encoded into the RCDATA resources of a copy of
// the installer stub.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "QvClasses.h"
#include "QvTypes.h"

struct TBuildOptions {
  WideString ProjectFile;
  WideString StubFile;      // empty: the installer beside setupkit
  WideString FullOutput;    // empty: the project's FullSetupFile
  WideString OnlineOutput;  // empty: the project's MiniSetupFile when BuildMiniSetup
  unsigned Jobs = 0;        // encoding threads; 0: one per core
};

struct TBuildResult {
  WideString FullSetup;
  WideString OnlineSetup;  // empty when none was built
  int Files = 0;
  uint64_t SourceBytes = 0;
  uint64_t BlobBytes = 0;
};

TBuildResult BuildPackage(const TBuildOptions& options);

// Reads and encodes the files on jobs threads (0: one per core) and hands
// each encoded image to sink on the calling thread, in the order of paths.
// At most a few images per thread are in memory at once, so a product
// larger than memory can be packed. The first failure stops the work and
// is raised here.
void EncodeFilesInOrder(const std::vector<WideString>& paths, unsigned jobs,
                        const std::function<void(size_t index, TMemoryStream& encoded)>& sink);

// True for the eight-byte signature that every PNG file starts with.
bool IsPngData(const std::string& bytes);

// License text as the installer should read it: without a byte-order mark
// it would take the bytes in the machine's ANSI code page, so a UTF-8 text
// that is not plain ASCII gets the UTF-8 mark; anything else is kept.
std::string LicenseTextForPackage(std::string bytes);
