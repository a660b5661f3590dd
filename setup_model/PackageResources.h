// Access to the package's RCDATA resources. The installer reads them from a
// loaded module; setupkit and the native build read them straight from a PE
// file. Both sit behind TResourceReader, so the package operations do not
// care where the bytes come from.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "QvClasses.h"
#include "QvPeResources.h"
#include "QvTypes.h"

// Fixed resource names of a package (GUID strings, braces included).
extern const char* const FullScriptResID;
extern const char* const MiniScriptResID;
extern const char* const FileDataResID;
// In an online setup: the SHA-256 Authenticode digest of the one full setup
// it accepts (SetupPin.h); an online setup without it accepts any.
extern const char* const FullSetupPinResID;

// The most bytes a setup may take: its resources must lie below 2 GB.
// setupkit builds no larger one, and an online setup downloads none.
constexpr uint64_t kMaxSetupBytes = 0x7FFFFFFF;

// The bytes of one resource, owned by the reader that found them.
struct TResourceBytes {
  const char* Data = nullptr;
  int64_t Size = 0;
};

// Name lookup of RCDATA resources by narrow name, as FindResourceA takes it
// ("#123" is the numeric id 123; names match without regard to ASCII case).
class TResourceReader {
public:
  virtual ~TResourceReader() = default;
  // Finds the resource; the bytes stay valid while the reader lives.
  virtual bool Find(const std::string& name, TResourceBytes& bytes) const = 0;

  bool Exists(const std::string& name) const;
  // Raises EResNotFound "Resource %s not found".
  TResourceBytes Read(const std::string& name) const;
};

// Resources of a PE image held in memory (read from a file or handed over).
class TPeImageResourceReader : public TResourceReader {
public:
  // Malformed images raise EPeFormatError.
  explicit TPeImageResourceReader(const std::string& image);
  // Reads the whole file first; file errors are those of TFileStream.
  static std::unique_ptr<TPeImageResourceReader> FromFile(const WideString& fileName);

  bool Find(const std::string& name, TResourceBytes& bytes) const override;
  const std::vector<TPeResourceEntry>& Resources() const { return FResources; }
  // A 64-bit program (PE32+): the 64-bit installer of a 64-bit product.
  bool Is64Bit() const { return FIs64Bit; }

private:
  std::vector<TPeResourceEntry> FResources;
  bool FIs64Bit = false;
};

// A plain table of named blobs: packages under construction, tests.
class TMemoryResourceReader : public TResourceReader {
public:
  // A later resource of the same name replaces the earlier one.
  void Add(const std::string& name, std::string bytes);
  bool Find(const std::string& name, TResourceBytes& bytes) const override;

private:
  std::vector<std::pair<TResourceId, std::string>> FItems;
};

#ifdef _WIN32
// Resources of a loaded module, through FindResourceA and its companions.
// The handle is an HMODULE; the header stays free of the Windows headers.
class TModuleResourceReader : public TResourceReader {
public:
  // Borrows module (a null handle stands for the running executable).
  explicit TModuleResourceReader(void* module) : FModule(module), FOwned(false) {}
  // Loads the file with LoadLibraryW and frees it with the reader. A failed
  // load is not an error: lookups then run against the running executable.
  static std::unique_ptr<TModuleResourceReader> LoadModule(const WideString& fileName);
  ~TModuleResourceReader() override;
  TModuleResourceReader(const TModuleResourceReader&) = delete;
  TModuleResourceReader& operator=(const TModuleResourceReader&) = delete;

  bool Find(const std::string& name, TResourceBytes& bytes) const override;
  void* Module() const { return FModule; }

private:
  TModuleResourceReader(void* module, bool owned) : FModule(module), FOwned(owned) {}
  void* FModule;
  bool FOwned;
};
#endif

// True when the package holds an RCDATA resource of that name.
bool PackageResourceExists(const TResourceReader& reader, const std::string& name);
// Replaces stream's content by the decoded resource; returns true. A
// missing resource raises EResNotFound before stream is touched; data that
// does not decode raises EZDecompressionError "Error".
bool ReadPackageResource(const TResourceReader& reader, const std::string& name, TMemoryStream& stream);
