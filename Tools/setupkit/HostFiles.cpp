#include "HostFiles.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <system_error>

#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace fs = std::filesystem;

namespace {

fs::path ToPath(const WideString& s) {
#ifdef _WIN32
  return fs::path(std::wstring(s.begin(), s.end()));
#else
  return fs::path(WideToUtf8(s));
#endif
}

WideString FromPath(const fs::path& p) {
#ifdef _WIN32
  const std::wstring w = p.wstring();
  return WideString(w.begin(), w.end());
#else
  return Utf8ToWide(p.string());
#endif
}

WideChar LowerAscii(WideChar c) { return (c >= u'A' && c <= u'Z') ? static_cast<WideChar>(c + 32) : c; }

bool IsSeparator(WideChar c) { return c == u'\\' || c == u'/'; }

}  // namespace

bool MatchesFileMask(const WideString& name, const WideString& mask) {
  // Iterative matching with one backtrack point: linear in practice and
  // immune to patterns like "*a*a*a*b".
  size_t n = 0, m = 0, starM = WideString::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == u'*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && (mask[m] == u'?' || LowerAscii(mask[m]) == LowerAscii(name[n]))) {
      ++m;
      ++n;
    } else if (starM != WideString::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

std::vector<THostFile> FindHostFiles(const WideString& folder, const WideString& mask, bool recursive) {
  const fs::path root = ToPath(folder);
  std::error_code ec;
  if (!fs::is_directory(root, ec))
    throw EFOpenError(u"Source folder \"" + folder + u"\" does not exist or is not a folder");
  std::vector<THostFile> found;
  auto consider = [&](const fs::directory_entry& entry) {
    std::error_code e;
    if (!entry.is_regular_file(e)) return;
    const WideString name = FromPath(entry.path().filename());
    if (!MatchesFileMask(name, mask)) return;
    THostFile f;
    f.Path = FromPath(entry.path());
    f.Name = name;
    WideString rel = FromPath(entry.path().parent_path().lexically_relative(root));
    if (rel == u".") rel.clear();
    std::replace(rel.begin(), rel.end(), u'/', u'\\');
    f.RelativeDir = rel;
    f.Size = entry.file_size(e);
    if (e) throw EFOpenError(u"Cannot read the size of \"" + f.Path + u"\". " + Utf8ToWide(e.message()));
    found.push_back(std::move(f));
  };
  if (recursive) {
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) consider(*it);
  } else {
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) consider(*it);
  }
  if (ec) throw EFOpenError(u"Cannot read the folder \"" + folder + u"\". " + Utf8ToWide(ec.message()));
  std::sort(found.begin(), found.end(), [](const THostFile& a, const THostFile& b) {
    return a.RelativeDir != b.RelativeDir ? a.RelativeDir < b.RelativeDir : a.Name < b.Name;
  });
  return found;
}

WideString ResolveHostPath(const WideString& base, const WideString& path) {
  WideString p = path;
  for (auto& c : p)
    if (IsSeparator(c)) c = PathDelim();
  const fs::path asPath = ToPath(p);
  if (asPath.is_absolute() || base.empty()) return p;
  return FromPath((ToPath(base) / asPath).lexically_normal());
}

WideString HostFolderOf(const WideString& path) {
  size_t cut = WideString::npos;
  for (size_t i = 0; i < path.size(); ++i)
    if (path[i] == PathDelim() || path[i] == u'/' || (PathDelim() == u'\\' && path[i] == u':')) cut = i;
  return cut == WideString::npos ? WideString() : path.substr(0, cut + 1);
}

WideString JoinHostPath(const WideString& folder, const WideString& name) {
  if (folder.empty()) return name;
  if (folder.back() == PathDelim() || folder.back() == u'/') return folder + name;
  return folder + PathDelim() + name;
}

void CreateHostFolders(const WideString& folder) {
  std::error_code ec;
  fs::create_directories(ToPath(folder), ec);
  if (ec) throw EInOutError(u"Cannot create the folder \"" + folder + u"\". " + Utf8ToWide(ec.message()));
}

WideString TempNameFor(const WideString& target) {
  std::random_device rd;
  return target + u"." + IntToHex(static_cast<uint32_t>(rd()), 8) + u".tmp";
}

void RenameHostFile(const WideString& from, const WideString& to) {
  // std::filesystem replaces an existing target on every platform (through
  // MoveFileExW on Windows, which plain rename lacks there).
  std::error_code ec;
  fs::rename(ToPath(from), ToPath(to), ec);
  if (ec) throw EInOutError(u"Cannot rename \"" + from + u"\" to \"" + to + u"\". " + Utf8ToWide(ec.message()));
}

void WriteHostFile(const std::string& bytes, const WideString& fileName) {
  TFileStream out(fileName, fmCreate);
  try {
    out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    out.Close();
  } catch (...) {
    try {
      out.Close();
    } catch (const Exception&) {
    }
    DeleteFile(fileName);
    throw;
  }
}

void SaveFileAtomically(const std::string& bytes, const WideString& fileName) {
  const WideString temp = TempNameFor(fileName);
  try {
    WriteHostFile(bytes, temp);
    RenameHostFile(temp, fileName);
  } catch (...) {
    DeleteFile(temp);
    throw;
  }
}
