#include "UninstallRules.h"

#include <algorithm>

#include "FolderRules.h"
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

size_t Depth(const WideString& folder) {
  return static_cast<size_t>(std::count_if(folder.begin(), folder.end(), IsSeparator));
}

}  // namespace

bool IsSafeAbsolutePath(const WideString& path) {
  const size_t root = PathRootLength(path);
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

WideString FirstLinkOnTheWay(const WideString& path, const WideString& folder,
                             const std::function<bool(const WideString&)>& isLink) {
  const WideString top = IncludeTrailingBackslash(folder);
  if (!IsInsideFolder(path, top)) return WideString();
  size_t at = top.size();
  for (;;) {
    const size_t slash = path.find(u'\\', at);
    if (slash == WideString::npos) return WideString();
    const WideString step = path.substr(0, slash);
    if (isLink(step)) return step;
    at = slash + 1;
  }
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
