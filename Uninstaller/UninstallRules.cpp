#include "UninstallRules.h"

#include <algorithm>

#include "QvSysUtils.h"
#include "SetupProject.h"
#include "SetupRules.h"

namespace {

bool IsSeparator(WideChar c) { return c == u'\\' || c == u'/'; }

// The parts of a path between separators.
std::vector<WideString> PartsOf(const WideString& path) {
  std::vector<WideString> parts;
  WideString part;
  for (WideChar c : path) {
    if (IsSeparator(c)) {
      parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  parts.push_back(part);
  return parts;
}

bool IsDriveLetter(WideChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// "C:\" or "\\server\share\" at the start; its length, or 0.
size_t RootLength(const WideString& path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == u':' && IsSeparator(path[2])) return 3;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t i = 2;
    int names = 0;
    while (i < path.size() && names < 2) {
      const size_t start = i;
      while (i < path.size() && !IsSeparator(path[i])) ++i;
      if (i == start) return 0;
      ++names;
      if (i < path.size()) ++i;
    }
    return names == 2 ? i : 0;
  }
  return 0;
}

size_t Depth(const WideString& folder) {
  return static_cast<size_t>(std::count_if(folder.begin(), folder.end(), IsSeparator));
}

}  // namespace

bool IsRootFolder(const WideString& folder) {
  const WideString f = ExcludeTrailingBackslash(Trim(folder));
  if (f.empty() || f == u"\\") return true;
  if (f.size() == 2 && IsDriveLetter(f[0]) && f[1] == u':') return true;
  const WideString withSlash = IncludeTrailingBackslash(f);
  const size_t root = RootLength(withSlash);
  return root != 0 && root >= withSlash.size() && withSlash[0] == u'\\';
}

bool IsRefusedFolder(const WideString& folder, const std::vector<WideString>& refused) {
  if (IsRootFolder(folder)) return true;
  const WideString f = ExcludeTrailingBackslash(folder);
  for (const WideString& r : refused) {
    if (!r.empty() && SameText(f, ExcludeTrailingBackslash(r))) return true;
  }
  return false;
}

bool IsSafeAbsolutePath(const WideString& path) {
  const size_t root = RootLength(path);
  if (root == 0 || root >= path.size()) return false;
  if (path.find_first_of(u"*?") != WideString::npos) return false;
  for (const WideString& part : PartsOf(path.substr(root))) {
    if (part.empty() || part == u"." || part == u"..") return false;
    // Windows drops trailing dots and blanks from a name, so a part of
    // nothing else ("...", ". .") leads up as ".." does.
    if (part.find_first_not_of(u". ") == WideString::npos) return false;
  }
  return true;
}

bool IsInsideFolder(const WideString& path, const WideString& folder) {
  const WideString prefix = IncludeTrailingBackslash(folder);
  return path.size() > prefix.size() && SameText(path.substr(0, prefix.size()), prefix);
}

std::vector<WideString> FoldersToPrune(const std::vector<WideString>& touched, const WideString& top) {
  const WideString topDir = IncludeTrailingBackslash(top);
  std::vector<WideString> folders;
  auto add = [&folders](const WideString& f) {
    for (const WideString& have : folders)
      if (SameText(have, f)) return;
    folders.push_back(f);
  };
  for (const WideString& t : touched) {
    WideString folder = IncludeTrailingBackslash(t);
    if (!SameText(folder, topDir) && !IsInsideFolder(folder, topDir)) continue;
    while (IsInsideFolder(folder, topDir)) {
      add(folder);
      folder = ExtractFilePath(ExcludeTrailingBackslash(folder));
    }
    add(topDir);
  }
  std::stable_sort(folders.begin(), folders.end(),
                   [](const WideString& a, const WideString& b) { return Depth(a) > Depth(b); });
  return folders;
}

std::vector<WideString> ParentKeysToPrune(const WideString& subKey) {
  std::vector<WideString> parts;
  for (const WideString& p : PartsOf(subKey))
    if (!p.empty()) parts.push_back(p);
  std::vector<WideString> parents;
  // A key with n parts has parents of n-1 ... 2 parts; one part is a key
  // directly under the root and stays.
  for (size_t n = parts.size() > 0 ? parts.size() - 1 : 0; n >= 2; --n) {
    WideString key;
    for (size_t i = 0; i < n; ++i) key += (i ? u"\\" : u"") + parts[i];
    parents.push_back(key);
  }
  return parents;
}

bool IsUsableEntryName(const WideString& guid) {
  const WideString g = Trim(guid);
  return !g.empty() && g.find_first_of(u"\\/") == WideString::npos && g != u"." && g != u"..";
}

WideString UninstallLanguage(const TSetupBaseInfo& info, const WideString& recorded, const WideString& systemCode) {
  for (const char16_t* code : {u"CHS", u"CHT", u"ENG"})
    if (SameText(recorded, code)) return code;
  return AutomaticLanguage(OfferedLanguages(info), systemCode);
}

bool LooksLikePlainXml(const std::string& bytes) {
  size_t i = 0;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n')) ++i;
  return i < bytes.size() && bytes[i] == '<';
}
