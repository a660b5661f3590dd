// Builds full and online setups from a project file: the product's files,
// icon and license texts, encoded into the RCDATA resources of a copy of
// the installer stub.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QvClasses.h"
#include "QvSha256.h"
#include "QvTypes.h"

// How far an encoding of the product's files has come; handed to the
// progress callback after each file.
struct TBuildProgress {
  int FilesDone = 0;
  int Files = 0;
  uint64_t BytesDone = 0;  // of the source files
  uint64_t Bytes = 0;
};

// Which Windows programs a product is: a 32-bit product's setup is the
// 32-bit installer (it runs everywhere; Program Files (x86) and the 32-bit
// registry view on 64-bit Windows), a 64-bit product's the 64-bit one
// (Program Files and the 64-bit view; it cannot start on 32-bit Windows).
enum class TSetupArch { X86, X64 };
// "x86" or "x64".
const char* SetupArchName(TSetupArch arch);
// The installer and the uninstaller beside setupkit for arch: "Setup.exe"
// and "Uninstall.exe" for x86, "Setup-x64.exe" and "Uninstall-x64.exe" (a
// 64-bit build's own folder holds its 64-bit uninstaller as Uninstall.exe,
// which an x64 build takes when there is no Uninstall-x64.exe).
WideString InstallerFileName(TSetupArch arch);
WideString UninstallerFileName(TSetupArch arch);

struct TBuildOptions {
  WideString ProjectFile;
  // The product's architecture; the installer's must be the same. Unset:
  // that of the installer given with StubFile, else x86.
  std::optional<TSetupArch> Arch;
  WideString StubFile;      // empty: the installer for Arch beside setupkit
  WideString FullOutput;    // empty: the project's FullSetupFile
  WideString OnlineOutput;  // empty: the project's MiniSetupFile when BuildMiniSetup
  unsigned Jobs = 0;        // encoding threads; 0: one per core
  int Level = 0;            // compression level of the files; 0: DefaultBuildLevel()
  // The product gets the Uninstall.exe beside setupkit as {app}\Uninstall.exe
  // when it delivers none there itself; true leaves it out.
  bool NoUninstaller = false;
  // The online setup accepts only the full setup built with it (its
  // Authenticode digest, SetupPin.h); true leaves the pin out, and the
  // online setup installs whatever full setup its URL serves.
  bool NoPin = false;
  // Also the winget manifest of the full setup, into this folder (empty:
  // none), under this PackageIdentifier (empty: Publisher.Product).
  WideString WingetDir;
  WideString WingetId;
  // SOURCE_DATE_EPOCH, seconds since 1970-01-01 UTC: the setups' time
  // stamp, and the latest file time they hold (see TSourceTimes). Unset:
  // the newest source file's time, and the files' own times.
  std::optional<int64_t> SourceDateEpoch;
  // Called on the building thread; may be empty.
  std::function<void(const TBuildProgress&)> Progress;
};

// The product's files are compressed with libdeflate where the build has it
// (native) and with zlib otherwise (Windows). Both write standard zlib
// streams that the installer reads alike, but not the same bytes.
const char* BuildCompressorName();
int MaxBuildLevel();      // 12 with libdeflate, 9 with zlib
int DefaultBuildLevel();  // the level whose output is no larger than zlib's best

struct TBuildResult {
  WideString FullSetup;
  TSetupArch Arch = TSetupArch::X86;  // the setup's
  WideString AddedUninstaller;  // the Uninstall.exe the build added; empty when none
  WideString OnlineSetup;  // empty when none was built
  bool Pinned = false;     // the online setup holds the full setup's digest
  TSha256Digest FullDigest{};  // the full setup's Authenticode digest
  std::vector<WideString> WingetFiles;   // the manifest's files, when asked for
  std::vector<std::string> WingetNotes;  // what the publisher should look at in them
  int Files = 0;
  uint64_t SourceBytes = 0;
  uint64_t BlobBytes = 0;
};

TBuildResult BuildPackage(const TBuildOptions& options);

class TSetupScript;
class TSetupFile;
// True when a file item of the script is "Uninstall.exe" in "{app}" itself.
bool DeliversUninstaller(const TSetupScript& script);
class TXmlPersistent;
struct THostFile;
// Applies the script's variables to the texts of every item.
void ApplyVariablesToItems(TSetupScript& script);
// The item for one file that a file item's mask found: its name, and its
// subfolder below DestDir. ResID, size and time are the builder's to fill.
std::unique_ptr<TXmlPersistent> ItemForHostFile(const TSetupFile& item, const THostFile& file);

// Reads and encodes the files on jobs threads (0: one per core) at level
// (0: DefaultBuildLevel()) and hands each encoded image to sink on the
// calling thread, in the order of paths. At most a few images per thread
// are in memory at once, so a product larger than memory can be packed.
// The first failure stops the work and is raised here.
void EncodeFilesInOrder(const std::vector<WideString>& paths, unsigned jobs,
                        const std::function<void(size_t index, TMemoryStream& encoded)>& sink, int level = 0);

// An upper bound of the size of a setup packing files of these sizes, with
// fixedBytes of stub and other resources: zlib's worst case per file, plus
// the index of the file data.
uint64_t SetupSizeBound(const std::vector<uint64_t>& fileSizes, uint64_t fixedBytes);

// True for the eight-byte signature that every PNG file starts with.
bool IsPngData(const std::string& bytes);
// True when s is well-formed UTF-8; nonAscii says whether any byte is
// beyond ASCII.
bool IsValidUtf8(const std::string& s, bool& nonAscii);

// License text as the installer should read it: without a byte-order mark
// it would take the bytes in the machine's ANSI code page, so a UTF-8 text
// that is not plain ASCII gets the UTF-8 mark; anything else is kept.
std::string LicenseTextForPackage(std::string bytes);
