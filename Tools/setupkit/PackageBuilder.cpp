#include "PackageBuilder.h"

#include <algorithm>
#include <map>
#include <cctype>
#include <cstdio>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "FileDataClasses.h"
#include "HostFiles.h"
#include "ImageEncoder.h"
#include "MySetupUtils.h"
#include "PackageChecks.h"
#include "PackageResources.h"
#include "PeResourceWriter.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "ResourceNames.h"
#include "ScriptFile.h"
#include "SetupPin.h"
#include "SetupProject.h"
#include "WingetManifest.h"

void ApplyVariablesToItems(TSetupScript& script) {
  const TSetupVarList& vars = *script.VarList();
  TSetupItemList* lists[] = {script.FileList(), script.RegList(), script.ShortCutList(), script.RunList(),
                             script.UninstallRunList(), script.SwiperList()};
  for (TSetupItemList* list : lists)
    for (int i = 0; i < list->Count(); ++i)
      if (auto* item = dynamic_cast<TBaseConditionItem*>(list->Items(i))) item->ApplyVariables(vars);
}

std::unique_ptr<TXmlPersistent> ItemForHostFile(const TSetupFile& item, const THostFile& file) {
  std::unique_ptr<TXmlPersistent> copy = item.Clone();
  auto* one = static_cast<TSetupFile*>(copy.get());
  one->SourceMask = file.Name;
  if (!file.RelativeDir.empty())
    one->DestDir = item.DestDir.empty() ? file.RelativeDir : IncludeTrailingBackslash(item.DestDir) + file.RelativeDir;
  return copy;
}

namespace {

constexpr int64_t kMaxPackageFile = 0x7FFFFFFF;  // FileBytes is a 32-bit number

}  // namespace

bool IsValidUtf8(const std::string& s, bool& nonAscii) {
  nonAscii = false;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) { ++i; continue; }
    nonAscii = true;
    size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (c >= 0xF5 || len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

namespace {

#ifdef SETUPKIT_HAVE_LIBDEFLATE
// Measured on the benchmark product (bench_build --levels), with noise
// stored: level 7 packs it 0.8% smaller than zlib's level 9 does. Level 6
// is faster still but only 0.1% smaller, too close to be no larger on a
// product a little less kind; level 8 saves another 0.2% at twice the time.
constexpr int kDefaultLevel = 7;
constexpr int kMaxLevel = 12;
#else
constexpr int kDefaultLevel = 9;
constexpr int kMaxLevel = 9;
#endif

std::string ReadWholeFile(const WideString& path) {
  TMemoryStream m;
  m.LoadFromFile(path);
  return m.TakeBytes();
}

std::string Encoded(std::string bytes) {
  TMemoryStream m(std::move(bytes));
  TSetupfn::EncodeStream(m);
  return m.TakeBytes();
}

std::string EncodedScript(const TSetupScript& script) {
  TMemoryStream m;
  script.SaveToStream(m, 0);
  TSetupfn::EncodeStream(m);
  return m.TakeBytes();
}


// A package resource that is a file of the project: icon or license.
struct TExtraResource {
  WideString Name;
  std::string Data;  // encoded
};

// The times a build writes: each file's last-write time and the setup's
// PE time stamp. With SOURCE_DATE_EPOCH the file times are clamped to it,
// as reproducible-build tools clamp theirs (a fresh checkout's files are
// all newer), and kept as UTC date-times, so that neither the checkout nor
// the build machine's zone changes a byte; the time stamp is the epoch.
// Without it the file times are the files' own in local time, as the
// installer takes them, and the time stamp is the newest source file's.
class TSourceTimes {
public:
  explicit TSourceTimes(std::optional<int64_t> epoch) : FEpoch(epoch) {}

  // A source file's time, counted towards the newest.
  int64_t Seen(const WideString& path) {
    const int64_t ms = FileLastWriteUnixMs(path);
    FNewestMs = std::max(FNewestMs, ms);
    return ms;
  }
  // A product file's last-write time as the script holds it.
  TDateTime Stored(const WideString& path) {
    const int64_t ms = Seen(path);
    if (FEpoch) return UnixToDateTime(static_cast<double>(std::min(ms, *FEpoch * 1000)) / 1000.0);
    return UnixMsToLocalDateTime(ms);
  }
  uint32_t PeTimeStamp() const {
    const int64_t seconds = FEpoch ? *FEpoch : FNewestMs / 1000;
    return static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(seconds, 0), 0xFFFFFFFF));
  }

private:
  std::optional<int64_t> FEpoch;
  int64_t FNewestMs = 0;
};

// Replaces each file item by one item per file it matches. A ResID the
// project gives stays with an item that finds one file; one found by a
// mask of several files is named from its content later.
std::vector<WideString> ExpandFileItems(TSetupScript& script, const WideString& projectDir, uint64_t& totalBytes,
                                        TSourceTimes& times) {
  TSetupFileList* list = script.FileList();
  std::vector<std::unique_ptr<TXmlPersistent>> concrete;
  std::vector<WideString> paths;
  for (int i = 0; i < list->Count(); ++i) {
    const TSetupFile* item = list->Items(i);
    const WideString folder = ResolveHostPath(projectDir, item->SourcePath);
    if (item->SourceMask.empty())
      throw Exception(Format(u"File item %d (destination \"%s\") has no SourceMask", {i + 1, item->DestDir}));
    const std::vector<THostFile> files = FindHostFiles(folder, item->SourceMask, item->IncludeSubPath);
    if (files.empty())
      throw Exception(u"No file matches \"" + item->SourceMask + u"\" in \"" + folder + u"\"");
    for (const THostFile& f : files) {
      if (f.Size > static_cast<uint64_t>(kMaxPackageFile))
        throw Exception(u"\"" + f.Path + u"\" is larger than 2 GB, the most a package file can hold");
      std::unique_ptr<TXmlPersistent> copy = ItemForHostFile(*item, f);
      auto* file = static_cast<TSetupFile*>(copy.get());
      if (files.size() > 1) file->ResID.clear();
      file->FileBytes = static_cast<int32_t>(f.Size);
      file->LastWriteDate = times.Stored(f.Path);
      totalBytes += f.Size;
      paths.push_back(f.Path);
      concrete.push_back(std::move(copy));
    }
  }
  list->Clear();
  for (auto& c : concrete) list->Add(std::move(c));
  return paths;
}

// A resource name the project gives must be a GUID in registry form, the
// form the installer's look-ups and FindResource take as a name.
void RequireGivenName(const WideString& name, const WideString& what) {
  if (!IsRegistryGUID(name))
    throw Exception(what + u" \"" + name + u"\" is not a GUID in registry form ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX})");
}

// Icon and license files become resources named from their role and
// content, unless the project names them; a property that names no file
// leaves its resource name empty, since a name without a resource would
// send the installer looking for nothing.
std::vector<TExtraResource> PackProjectFiles(TSetupBaseInfo& info, const WideString& projectDir, TSourceTimes& times) {
  std::vector<TExtraResource> out;
  struct {
    const char* Role;
    const WideString* File;
    WideString* ResID;
    const char16_t* Attribute;
  } files[] = {
      {"icon", &info.IconFile, &info.IconResID, u"IconResID"},
      {"license-chs", &info.LicenseFileCHS, &info.LicenseCHSResID, u"LicenseCHSResID"},
      {"license-cht", &info.LicenseFileCHT, &info.LicenseCHTResID, u"LicenseCHTResID"},
      {"license-eng", &info.LicenseFileENG, &info.LicenseENGResID, u"LicenseENGResID"},
  };
  const WideString fixed[] = {Utf8ToWide(FullScriptResID), Utf8ToWide(MiniScriptResID), Utf8ToWide(FileDataResID),
                              Utf8ToWide(FullSetupPinResID)};
  for (auto& f : files) {
    if (f.File->empty()) {
      f.ResID->clear();
      continue;
    }
    const WideString path = ResolveHostPath(projectDir, *f.File);
    times.Seen(path);
    std::string bytes = ReadWholeFile(path);
    const bool icon = f.File == &info.IconFile;
    if (icon && !IsPngData(bytes)) throw Exception(u"The icon \"" + path + u"\" is not a PNG file");
    if (f.ResID->empty()) {
      *f.ResID = ProjectResourceName(f.Role, TSha256::Of(bytes));
    } else {
      RequireGivenName(*f.ResID, f.Attribute);
      // Resource names are compared without case, as Windows finds them.
      auto clash = [&](const WideString& other) { return SameText(other, *f.ResID); };
      if (std::any_of(std::begin(fixed), std::end(fixed), clash) ||
          std::any_of(out.begin(), out.end(), [&](const TExtraResource& r) { return clash(r.Name); }))
        throw Exception(WideString(f.Attribute) + u" \"" + *f.ResID + u"\" names another resource of the setup");
    }
    out.push_back({*f.ResID, Encoded(icon ? std::move(bytes) : LicenseTextForPackage(std::move(bytes)))});
  }
  return out;
}

// The file items' resource names that the project leaves to the build:
// from each file's destination and content, so that a rebuild names them
// alike. Two names the same would hand both files one content.
void NameFileResources(TSetupScript& script, const std::vector<WideString>& paths, unsigned jobs) {
  TSetupFileList& list = *script.FileList();
  std::vector<WideString> unnamed;
  for (int i = 0; i < list.Count(); ++i)
    if (list.Items(i)->ResID.empty()) unnamed.push_back(paths[static_cast<size_t>(i)]);
  const std::vector<TSha256Digest> digests = DigestFiles(unnamed, jobs);
  std::map<WideString, int> made;     // a derived name, and how often it came
  std::map<WideString, int> owners;   // every name, and the item that has it
  size_t next = 0;
  for (int i = 0; i < list.Count(); ++i) {
    TSetupFile& f = *list.Items(i);
    if (f.ResID.empty()) {
      const WideString dest =
          IncludeTrailingBackslash(f.DestDir) + (f.NewFileName.empty() ? f.SourceMask : f.NewFileName);
      const TSha256Digest& digest = digests[next++];
      const WideString first = FileResourceName(dest, digest, 0);
      int& seen = made[first];
      f.ResID = seen == 0 ? first : FileResourceName(dest, digest, seen);
      ++seen;
    } else {
      RequireGivenName(f.ResID, u"File \"" + paths[static_cast<size_t>(i)] + u"\": ResID");
    }
    const auto [at, fresh] = owners.emplace(f.ResID, i);
    if (!fresh)
      throw Exception(u"Files \"" + paths[static_cast<size_t>(at->second)] + u"\" and \"" +
                      paths[static_cast<size_t>(i)] + u"\" have the same ResID " + f.ResID +
                      u": each file needs a resource of its own");
  }
}

// The architecture of a Windows program's bytes.
TSetupArch ArchOf(const std::string& image, const WideString& fileName) {
  try {
    return ParsePeLayout(image).Pe32Plus ? TSetupArch::X64 : TSetupArch::X86;
  } catch (const EPeFormatError& e) {
    throw EPeFormatError(u"\"" + fileName + u"\": " + e.Message());
  }
}

// A program's bytes must be a Windows program of arch: a 64-bit product
// packed into the 32-bit installer would land in Program Files (x86), and
// a 64-bit uninstaller in a 32-bit product could not run everywhere its
// setup does.
void RequireArch(const std::string& image, const WideString& fileName, TSetupArch arch, const char* role) {
  const bool is64 = ArchOf(image, fileName) == TSetupArch::X64;
  if (is64 == (arch == TSetupArch::X64)) return;
  throw Exception(Format(u"The %s \"%s\" is a %s program, but the product is %s (--arch %s): use %s", {
      Utf8ToWide(role), fileName, is64 ? u"64-bit" : u"32-bit", arch == TSetupArch::X64 ? u"64-bit" : u"32-bit",
      Utf8ToWide(SetupArchName(arch)),
      std::string(role) == "installer" ? InstallerFileName(arch) : UninstallerFileName(arch)}));
}

// The folders that hold the installers and uninstallers setupkit packs:
// its own (dist/, a build folder), then the lib/setupkit folder beside the
// folder it was installed into (/usr/bin/setupkit finds /usr/lib/setupkit).
std::vector<WideString> ProgramFolders() {
  const WideString own = HostFolderOf(ExpandFileName(ParamStr(0)));
  std::vector<WideString> folders{own};
  const WideString lib = ResolveHostPath(own, u"../lib/setupkit");
  if (DirectoryExists(lib)) folders.push_back(lib);
  return folders;
}

// The first of names in the first program folder that holds any of them.
std::optional<THostFile> FindProgram(std::initializer_list<WideString> names) {
  for (const WideString& folder : ProgramFolders())
    for (const WideString& name : names) {
      std::vector<THostFile> found = FindHostFiles(folder, name, false);
      if (!found.empty()) return found.front();
    }
  return std::nullopt;
}

// The uninstaller, when the product lacks one: the one setupkit carries
// for the product's architecture, as the last file of {app} under the name
// Uninstall.exe. Its path, or empty when there is none to add.
WideString AddUninstaller(TSetupScript& script, std::vector<WideString>& paths, uint64_t& totalBytes,
                          TSetupArch arch, TSourceTimes& times) {
  std::optional<THostFile> found = arch == TSetupArch::X64 ? FindProgram({UninstallerFileName(arch), u"Uninstall.exe"})
                                                           : FindProgram({UninstallerFileName(arch)});
  if (!found) return WideString();
  const THostFile& f = *found;
  RequireArch(ReadWholeFile(f.Path), f.Path, arch, "uninstaller");
  std::unique_ptr<TXmlPersistent> created(new TSetupFile());
  auto* item = static_cast<TSetupFile*>(created.get());
  item->DestDir = u"{app}";
  item->SourceMask = f.Name;
  if (!SameText(f.Name, u"Uninstall.exe")) item->NewFileName = u"Uninstall.exe";
  // Where setupkit lives is the build machine's business: the script
  // carries no source folder for it, so that two machines give one setup.
  item->FileBytes = static_cast<int32_t>(f.Size);
  item->LastWriteDate = times.Stored(f.Path);
  totalBytes += f.Size;
  paths.push_back(f.Path);
  script.FileList()->Add(std::move(created));
  return f.Path;
}

// The installer for arch that setupkit carries; raises naming where it
// looked when there is none.
WideString DefaultStub(TSetupArch arch) {
  if (std::optional<THostFile> found = FindProgram({InstallerFileName(arch)})) return found->Path;
  WideString places;
  for (const WideString& folder : ProgramFolders()) places += (places.empty() ? u"\"" : u"\" or \"") + folder;
  throw Exception(u"No installer " + InstallerFileName(arch) + u" in " + places + u"\": give --stub SETUP.exe");
}

TResourceId RcData() { return TResourceId::FromId(RT_RCDATA_ID); }
TResourceId Named(const WideString& name) { return TResourceId::FromName(name); }
TResourceId Named(const char* name) { return TResourceId::FromName(Utf8ToWide(name)); }

// The SHA-256 of a whole file, upper-case hexadecimal.
std::string FileSha256Hex(const WideString& fileName) {
  std::string buffer;
  std::string hex = DigestToHex(DigestFile(fileName, buffer));
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}

}  // namespace

const char* SetupArchName(TSetupArch arch) { return arch == TSetupArch::X64 ? "x64" : "x86"; }
WideString InstallerFileName(TSetupArch arch) { return arch == TSetupArch::X64 ? u"Setup-x64.exe" : u"Setup.exe"; }
WideString UninstallerFileName(TSetupArch arch) {
  return arch == TSetupArch::X64 ? u"Uninstall-x64.exe" : u"Uninstall.exe";
}

bool DeliversUninstaller(const TSetupScript& script) {
  const TSetupFileList& files = *script.FileList();
  for (int i = 0; i < files.Count(); ++i) {
    const TSetupFile& f = *files.Items(i);
    const WideString name = f.NewFileName.empty() ? f.SourceMask : f.NewFileName;
    if (SameText(name, u"Uninstall.exe") && SameText(ExcludeTrailingBackslash(Trim(f.DestDir)), u"{app}")) return true;
  }
  return false;
}

bool IsPngData(const std::string& bytes) {
  static const char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
  return bytes.size() >= 8 && std::equal(kSignature, kSignature + 8, bytes.begin());
}

std::string LicenseTextForPackage(std::string bytes) {
  const bool hasMark = (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                               (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) ||
                       bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  bool nonAscii = false;
  if (!hasMark && IsValidUtf8(bytes, nonAscii) && nonAscii) bytes.insert(0, "\xEF\xBB\xBF");
  return bytes;
}

const char* BuildCompressorName() {
#ifdef SETUPKIT_HAVE_LIBDEFLATE
  return "libdeflate";
#else
  return "zlib";
#endif
}

int MaxBuildLevel() { return kMaxLevel; }
int DefaultBuildLevel() { return kDefaultLevel; }

uint64_t SetupSizeBound(const std::vector<uint64_t>& fileSizes, uint64_t fixedBytes) {
  uint64_t total = fixedBytes;
  for (uint64_t size : fileSizes) {
    // compressBound's own formula, in 64 bits so that no size wraps.
    total += size + (size >> 12) + (size >> 14) + (size >> 25) + 13;
    // Its index entry: GUID, offset and size as XML, stored no smaller.
    total += 160;
  }
  // Directory tables, alignment and the index's own framing.
  return total + 0x10000;
}

void EncodeFilesInOrder(const std::vector<WideString>& paths, unsigned jobs,
                        const std::function<void(size_t, TMemoryStream&)>& sink, int level) {
  if (level == 0) level = kDefaultLevel;
  if (level < 1 || level > kMaxLevel)
    throw Exception(Format(u"Compression level %d is not between 1 and %d", {level, kMaxLevel}));
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  jobs = static_cast<unsigned>(std::min<size_t>(jobs, std::max<size_t>(1, paths.size())));
  // Workers run at most this far ahead of the sink, which bounds memory:
  // each worker holds a source and its encoded image, and one image more
  // waits for the sink.
  const size_t window = static_cast<size_t>(jobs) + 1;

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::unique_ptr<TMemoryStream>> ready(paths.size());
  size_t next = 0, written = 0;
  bool stop = false;
  std::exception_ptr failure;

  auto worker = [&] {
    std::unique_ptr<TImageEncoder> encoder;
    for (;;) {
      size_t index;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stop || next >= paths.size() || next < written + window; });
        if (stop || next >= paths.size()) return;
        index = next++;
      }
      try {
        if (!encoder) encoder = std::make_unique<TImageEncoder>(level);
        std::unique_ptr<TMemoryStream> data;
        {
          TMemoryStream source;
          source.LoadFromFile(paths[index]);
          data = std::make_unique<TMemoryStream>(encoder->Encode(source.Bytes()));
        }
        std::lock_guard<std::mutex> lock(mutex);
        ready[index] = std::move(data);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure) failure = std::current_exception();
        stop = true;
      }
      changed.notify_all();
    }
  };

  std::vector<std::thread> threads;
  for (unsigned i = 0; i < jobs; ++i) threads.emplace_back(worker);
  auto finish = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    for (auto& t : threads) t.join();
  };

  try {
    for (size_t i = 0; i < paths.size(); ++i) {
      std::unique_ptr<TMemoryStream> data;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return ready[i] != nullptr || failure; });
        if (failure && !ready[i]) break;
        data = std::move(ready[i]);
      }
      sink(i, *data);
      data.reset();
      {
        std::lock_guard<std::mutex> lock(mutex);
        written = i + 1;
      }
      changed.notify_all();
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  if (failure) std::rethrow_exception(failure);
}

TBuildResult BuildPackage(const TBuildOptions& options) {
  const WideString projectFile = ExpandFileName(options.ProjectFile);
  const WideString projectDir = HostFolderOf(projectFile);
  TSetupScript script;
  LoadScriptDocument(projectFile, script);
  TSetupBaseInfo& info = *script.BaseInfo();
  // A product the manifest cannot describe is refused before anything is
  // written.
  std::optional<TWingetPlan> winget;
  if (!options.WingetDir.empty()) winget = PlanWingetManifest(script, options.WingetId);

  TBuildResult result;
  result.FullSetup = !options.FullOutput.empty() ? ExpandFileName(options.FullOutput)
                     : !info.FullSetupFile.empty() ? ResolveHostPath(projectDir, info.FullSetupFile)
                                                   : WideString();
  if (result.FullSetup.empty())
    throw Exception(u"No output file: give -o OUT.exe or set FullSetupFile in \"" + projectFile + u"\"");
  if (!options.OnlineOutput.empty()) {
    result.OnlineSetup = ExpandFileName(options.OnlineOutput);
  } else if (info.BuildMiniSetup) {
    if (info.MiniSetupFile.empty())
      throw Exception(u"BuildMiniSetup is set but MiniSetupFile is empty in \"" + projectFile +
                      u"\": give --online OUT.exe or set MiniSetupFile");
    result.OnlineSetup = ResolveHostPath(projectDir, info.MiniSetupFile);
  }

  const WideString stubFile = options.StubFile.empty() ? DefaultStub(options.Arch.value_or(TSetupArch::X86))
                                                      : ExpandFileName(options.StubFile);
  std::string stub = ReadWholeFile(stubFile);
  // Without --arch the installer given says what the product is, as it
  // always has; with it, the two must agree.
  result.Arch = options.Arch.value_or(ArchOf(stub, stubFile));
  RequireArch(stub, stubFile, result.Arch, "installer");
  const uint64_t stubBytes = stub.size();
  std::unique_ptr<TPeResourceWriter> fullWriter;
  try {
    fullWriter = std::make_unique<TPeResourceWriter>(stub);
  } catch (const EPeFormatError& e) {
    throw EPeFormatError(u"\"" + stubFile + u"\": " + e.Message());
  }
  std::unique_ptr<TPeResourceWriter> onlineWriter;
  if (!result.OnlineSetup.empty()) onlineWriter = std::make_unique<TPeResourceWriter>(std::move(stub));

  TSourceTimes times(options.SourceDateEpoch);
  times.Seen(projectFile);

  ApplyVariablesToItems(script);
  std::vector<WideString> paths = ExpandFileItems(script, projectDir, result.SourceBytes, times);
  if (!options.NoUninstaller && !DeliversUninstaller(script))
    result.AddedUninstaller = AddUninstaller(script, paths, result.SourceBytes, result.Arch, times);
  // What Windows or the installer would refuse is refused here, before a
  // byte is written; warnings go to the publisher and the build goes on.
  for (const WideString& warning : CheckPackage(script, paths, projectDir, true))
    std::fprintf(stderr, "setupkit: warning: %s\n", WideToUtf8(warning).c_str());
  // The picture and licenses, once the checks have found them readable.
  const std::vector<TExtraResource> extras = PackProjectFiles(info, projectDir, times);
  NameFileResources(script, paths, options.Jobs);
  result.Files = static_cast<int>(paths.size());
  fullWriter->SetTimeStamp(times.PeTimeStamp());
  if (onlineWriter) onlineWriter->SetTimeStamp(times.PeTimeStamp());

  // Empty files travel in the script alone: the installer creates them
  // without looking for data.
  std::vector<WideString> nonEmpty;
  std::vector<WideString> resIds;  // copies: the online script clears the list
  std::vector<uint64_t> sizes;
  for (size_t i = 0; i < paths.size(); ++i) {
    const TSetupFile* f = script.FileList()->Items(static_cast<int>(i));
    if (f->FileBytes > 0) {
      nonEmpty.push_back(paths[i]);
      resIds.push_back(f->ResID);
      sizes.push_back(static_cast<uint64_t>(f->FileBytes));
    }
  }

  const std::string fullScript = EncodedScript(script);
  // The stub's resources are rebuilt, maybe in a section of their own
  // beside the old one: count the stub twice.
  uint64_t fixedBytes = 2 * stubBytes + fullScript.size();
  for (const TExtraResource& r : extras) fixedBytes += r.Data.size();
  // Refused before anything is written: the file data goes straight into
  // the output, and finding out at the end would waste the whole encoding.
  const uint64_t bound = SetupSizeBound(sizes, fixedBytes);
  if (bound > kMaxSetupBytes)
    throw Exception(u"The setup would be too large: its " + IntToStr(result.Files) + u" files hold " +
                    Utf8ToWide(std::to_string(result.SourceBytes)) + u" bytes, which may take up to " +
                    Utf8ToWide(std::to_string(bound)) +
                    u" bytes packed, more than the 2 GB (2147483647 bytes) a setup can hold");

  fullWriter->SetResource(RcData(), Named(FullScriptResID), 0, fullScript);
  for (const TExtraResource& r : extras) fullWriter->SetResource(RcData(), Named(r.Name), 0, r.Data);
  if (onlineWriter) {
    // The online setup carries the same script without its files; it
    // downloads the full setup from FullDownloadUrl.
    script.FileList()->Clear();
    onlineWriter->SetResource(RcData(), Named(MiniScriptResID), 0, EncodedScript(script));
    for (const TExtraResource& r : extras) onlineWriter->SetResource(RcData(), Named(r.Name), 0, r.Data);
  }

  TBuildProgress progress;
  progress.Files = result.Files;
  progress.FilesDone = result.Files - static_cast<int>(nonEmpty.size());
  progress.Bytes = result.SourceBytes;
  TPeStreamedResource fileData;
  fileData.Type = RcData();
  fileData.Name = Named(FileDataResID);
  fileData.Write = [&](TStream& dest) {
    TFileDataBlobWriter blobWriter(dest);
    if (options.Progress) options.Progress(progress);
    EncodeFilesInOrder(
        nonEmpty, options.Jobs,
        [&](size_t index, TMemoryStream& encoded) {
          blobWriter.AddImage(resIds[index], encoded);
          ++progress.FilesDone;
          progress.BytesDone += sizes[index];
          if (options.Progress) options.Progress(progress);
        },
        options.Level);
    blobWriter.Finish();
    result.BlobBytes = static_cast<uint64_t>(blobWriter.Size());
  };

  // Both outputs are complete under temporary names before either takes
  // its final name, so a failure leaves neither half-written.
  const WideString fullTemp = TempNameFor(result.FullSetup);
  const WideString onlineTemp = onlineWriter ? TempNameFor(result.OnlineSetup) : WideString();
  try {
    CreateHostFolders(HostFolderOf(result.FullSetup).empty() ? u"." : HostFolderOf(result.FullSetup));
    {
      TFileStream out(fullTemp, fmCreate);
      fullWriter->WriteTo(out, &fileData);
      // Read back from what was written, so the pin is the digest of the
      // very bytes the publisher ships. One more pass over the setup, which
      // a build without an online setup to pin does not pay.
      WideString error;
      if (onlineWriter && !options.NoPin && !AuthenticodeSha256(out, result.FullDigest, error))
        throw Exception(u"\"" + fullTemp + u"\" cannot be digested: " + error);
      out.Close();
    }
    fullWriter.reset();
    if (onlineWriter) {
      if (!options.NoPin) {
        onlineWriter->SetResource(RcData(), Named(FullSetupPinResID), 0, EncodedSetupPin(result.FullDigest));
        result.Pinned = true;
      }
      CreateHostFolders(HostFolderOf(result.OnlineSetup).empty() ? u"." : HostFolderOf(result.OnlineSetup));
      TFileStream out(onlineTemp, fmCreate);
      onlineWriter->WriteTo(out);
      out.Close();
    }
    RenameHostFile(fullTemp, result.FullSetup);
    if (onlineWriter) RenameHostFile(onlineTemp, result.OnlineSetup);
  } catch (...) {
    DeleteFile(fullTemp);
    if (onlineWriter) DeleteFile(onlineTemp);
    throw;
  }
  if (winget) {
    // The digest of the file as written, as the package manager checks it.
    const std::vector<TWingetFile> files =
        WingetManifestFiles(*winget, script, result.Arch, result.FullSetup, FileSha256Hex(result.FullSetup));
    result.WingetFiles = WriteWingetManifest(options.WingetDir, files);
    result.WingetNotes = winget->Notes;
  }
  return result;
}
