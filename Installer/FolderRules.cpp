#include "FolderRules.h"

#include "QvSysUtils.h"

namespace {

bool IsSeparator(WideChar c) { return c == u'\\' || c == u'/'; }

bool IsDriveLetter(WideChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The folder without trailing separators and with "\" for "/", the root of
// a drive kept whole: the form in which two spellings of one folder are
// compared.
WideString ComparableFolder(const WideString& folder) {
  WideString f = Trim(folder);
  for (WideChar& c : f)
    if (c == u'/') c = u'\\';
  while (!f.empty() && f.back() == u'\\') f.pop_back();
  return f;
}

}  // namespace

size_t PathRootLength(const WideString& path) {
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

bool IsRootFolder(const WideString& folder) {
  const WideString f = ComparableFolder(folder);
  if (f.empty()) return true;
  if (f.size() == 2 && IsDriveLetter(f[0]) && f[1] == u':') return true;
  const WideString withSlash = f + u"\\";
  const size_t root = PathRootLength(withSlash);
  return root != 0 && root >= withSlash.size() && withSlash[0] == u'\\';
}

bool IsRefusedFolder(const WideString& folder, const std::vector<WideString>& refused) {
  if (IsRootFolder(folder)) return true;
  const WideString f = ComparableFolder(folder);
  for (const WideString& r : refused) {
    const WideString c = ComparableFolder(r);
    if (!c.empty() && SameText(f, c)) return true;
  }
  return false;
}

bool IsInsideAnyFolder(const WideString& folder, const std::vector<WideString>& parents) {
  const WideString f = ComparableFolder(folder) + u"\\";
  for (const WideString& p : parents) {
    const WideString c = ComparableFolder(p);
    if (c.empty()) continue;
    const WideString prefix = c + u"\\";
    if (f.size() >= prefix.size() && SameText(f.substr(0, prefix.size()), prefix)) return true;
  }
  return false;
}

WideString TopmostMissingFolder(const WideString& folder, bool (*exists)(const WideString&)) {
  WideString f = ComparableFolder(folder);
  WideString topmost;
  while (!f.empty() && !IsRootFolder(f) && !exists(f + u"\\")) {
    topmost = f + u"\\";
    const size_t cut = f.find_last_of(u"\\");
    if (cut == WideString::npos) break;
    f.resize(cut);
  }
  return topmost;
}

bool IsRelativeFolder(const WideString& folder) { return PathRootLength(Trim(folder)) == 0; }

WideString WithOneTrailingBackslash(const WideString& folder) {
  WideString f = folder;
  while (!f.empty() && IsSeparator(f.back())) f.pop_back();
  return f + u"\\";
}

WideString BrowsedDestination(const WideString& chosen, const WideString& defaultDest, const WideString& title,
                              const std::vector<WideString>& refused) {
  if (!IsRefusedFolder(chosen, refused)) return chosen;
  WideString name = ExtractFileName(ComparableFolder(defaultDest));
  // A default of "{pf}\" or "C:\" names no folder of the product's own.
  if (name.empty() || name.find(u':') != WideString::npos) name = Trim(title);
  if (name.empty()) return chosen;
  return WithOneTrailingBackslash(chosen) + name + u"\\";
}
