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

// True when inner is outer or lies below it; both are real paths.
bool IsWithin(const WideString& inner, const WideString& outer) {
  if (outer.empty() || inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
  return inner.size() == outer.size() || IsHostSeparator(outer.back()) || IsHostSeparator(inner[outer.size()]);
}

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
  std::vector<WideString> problems;
  std::vector<THostFile> found = FindHostFiles(folder, mask, recursive, &problems);
  if (!problems.empty()) {
    WideString text = u"Bad links in \"" + folder + u"\":";
    for (const WideString& p : problems) text += u"\n  " + p;
    throw EFOpenError(text);
  }
  return found;
}

std::vector<THostFile> FindHostFiles(const WideString& folder, const WideString& mask, bool recursive,
                                     std::vector<WideString>* linkProblems) {
  const fs::path root = ToPath(folder);
  std::error_code ec;
  if (!fs::is_directory(root, ec))
    throw EFOpenError(u"Source folder \"" + folder + u"\" does not exist or is not a folder");
  auto bad = [&](const WideString& text) {
    if (!linkProblems) throw EFOpenError(text);
    linkProblems->push_back(text);
  };

  // A folder still to read, with the real paths of the folders it lies in
  // (the tree's own first): a folder link to any of them would be walked
  // forever.
  struct TPending {
    fs::path Path;
    WideString RelativeDir;
    std::vector<WideString> RealChain;
  };
  std::vector<TPending> pending;
  pending.push_back({root, WideString(), {InspectHostEntry(folder).RealPath}});
  std::vector<THostFile> found;
  while (!pending.empty()) {
    const TPending dir = std::move(pending.back());
    pending.pop_back();
    const WideString dirName = FromPath(dir.Path);
    for (fs::directory_iterator it(dir.Path, ec), end; !ec && it != end; it.increment(ec)) {
      const WideString name = FromPath(it->path().filename());
      const WideString path = FromPath(it->path());
      const bool matches = MatchesFileMask(name, mask);
      const THostEntry e = InspectHostEntry(path);
      switch (e.Kind) {
        case THostEntry::hekMissing:
          if (recursive || matches)
            bad(u"\"" + path + u"\" is a link to " + (e.Target.empty() ? u"something" : u"\"" + e.Target + u"\"") +
                u" that does not exist");
          break;
        case THostEntry::hekLoop:
          if (recursive || matches) bad(u"\"" + path + u"\" is a link that leads to itself (a loop of links)");
          break;
        case THostEntry::hekFile:
          if (matches) {
            THostFile f;
            f.Path = path;
            f.Name = name;
            f.RelativeDir = dir.RelativeDir;
            f.Size = e.Size;
            found.push_back(std::move(f));
          }
          break;
        case THostEntry::hekFolder: {
          if (!recursive) break;
          if (e.IsLink) {
            bool cycle = IsWithin(e.RealPath, dir.RealChain.front());
            for (const WideString& real : dir.RealChain) cycle = cycle || IsWithin(real, e.RealPath);
            if (cycle) {
              bad(u"\"" + path + u"\" is a link to the folder \"" + e.RealPath +
                  u"\", which leads back into the tree (a cycle)");
              break;
            }
          }
          TPending sub{it->path(), dir.RelativeDir.empty() ? name : dir.RelativeDir + u"\\" + name, dir.RealChain};
          sub.RealChain.push_back(e.RealPath);
          pending.push_back(std::move(sub));
          break;
        }
        case THostEntry::hekOther:
          break;
      }
    }
    if (ec) throw EFOpenError(u"Cannot read the folder \"" + dirName + u"\". " + Utf8ToWide(ec.message()));
  }
  std::sort(found.begin(), found.end(), [](const THostFile& a, const THostFile& b) {
    return a.RelativeDir != b.RelativeDir ? a.RelativeDir < b.RelativeDir : a.Name < b.Name;
  });
  return found;
}

WideString ResolveHostPath(const WideString& base, const WideString& path) {
  WideString p = path;
  for (auto& c : p)
    if (IsHostSeparator(c)) c = PathDelim();
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

WideString HostNameOf(const WideString& path) { return path.substr(HostFolderOf(path).size()); }

bool IsHostSeparator(WideChar c) { return c == u'\\' || c == u'/'; }

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
