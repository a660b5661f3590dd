#include "SetupRules.h"

#include <cmath>

#include "FolderRules.h"
#include "MySetupUtils.h"
#include "SetupProject.h"
#include "QvSysUtils.h"

std::vector<WideString> OfferedLanguages(const TSetupBaseInfo& info) {
  std::vector<WideString> offered{u"CHS"};
  if (!info.AppTitleCHT.empty()) offered.push_back(u"CHT");
  if (!info.AppTitleENG.empty()) offered.push_back(u"ENG");
  return offered;
}

int IndexOfLanguage(const std::vector<WideString>& offered, const WideString& code) {
  for (size_t i = 0; i < offered.size(); ++i) {
    if (SameText(offered[i], code)) return static_cast<int>(i);
  }
  return -1;
}

WideString AutomaticLanguage(const std::vector<WideString>& offered, const WideString& systemCode) {
  if (IndexOfLanguage(offered, systemCode) >= 0) return systemCode;
  if (IndexOfLanguage(offered, u"ENG") >= 0) return u"ENG";
  return u"CHS";
}

int PreselectedLanguage(const std::vector<WideString>& offered, const WideString& systemCode) {
  int index = IndexOfLanguage(offered, systemCode);
  if (index < 0) index = IndexOfLanguage(offered, u"ENG");
  return index < 0 ? 0 : index;
}

WideString AppTitleFor(const TSetupBaseInfo& info, const WideString& code) {
  WideString title = code == u"CHS" ? info.AppTitleCHS : code == u"CHT" ? info.AppTitleCHT : info.AppTitleENG;
  return title.empty() ? info.AppTitleCHS : title;
}

WideString LicenseResIDFor(const TSetupBaseInfo& info, const WideString& code) {
  if (code == u"CHS") return info.LicenseCHSResID;
  if (code == u"CHT") return info.LicenseCHTResID;
  return info.LicenseENGResID;
}

WideString AppendRCode(const WideString& url, const WideString& installerFileTitle) {
  const size_t underscore = installerFileTitle.find(u'_');
  if (underscore == WideString::npos) return url;
  WideString digits;
  for (size_t i = underscore + 1; i < installerFileTitle.size(); ++i) {
    const WideChar c = installerFileTitle[i];
    if (c < u'0' || c > u'9') break;
    digits.push_back(c);
  }
  if (digits.empty()) return url;
  return url + (url.find(u'?') != WideString::npos ? u"&" : u"?") + u"rcode=" + digits;
}

uint32_t EstimatedSizeKB(const TSetupFileList& files) {
  int64_t total = 0;
  for (int i = 0; i < files.Count(); ++i) total += files.Items(i)->FileBytes;
  if (total <= 0) return 0;
  const int64_t kb = total / 1024;
  return kb > INT64_C(0xFFFFFFFF) ? 0xFFFFFFFFu : static_cast<uint32_t>(kb);
}

WideString InstallDateText(TDateTime now) {
  int year = 0, month = 0, day = 0;
  DecodeDate(now, year, month, day);
  return Format(u"%.4d%.2d%.2d", {year, month, day});
}

WideString UninstallString(const WideString& appDir) {
  return Format(u"\"%s\\Uninstall.exe\"", {ExcludeTrailingBackslash(appDir)});
}

WideString QuietUninstallString(const WideString& appDir) {
  return Format(u"\"%s\\Uninstall.exe\" /SILENT", {ExcludeTrailingBackslash(appDir)});
}

WideString NormalizedPath(const WideString& path) {
  const WideString p = StringReplace(path, u"/", u"\\");
  // The root stays as it is: "X:\" or "\\server\share\".
  const size_t root = PathRootLength(p);
  if (root == 0) return WideString();
  if (root == p.size() && p.back() != u'\\') return p + u"\\";
  std::vector<WideString> parts;
  size_t start = root;
  while (start <= p.size()) {
    size_t end = p.find(u'\\', start);
    if (end == WideString::npos) end = p.size();
    WideString part = p.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (parts.empty()) return WideString();
      parts.pop_back();
      continue;
    }
    // Windows drops a name's trailing dots and blanks: "app.exe." is
    // "app.exe", and "..." is no name at all.
    const size_t last = part.find_last_not_of(u". ");
    if (last == WideString::npos) continue;
    parts.push_back(part.substr(0, last + 1));
  }
  WideString result = p.substr(0, root);
  for (size_t i = 0; i < parts.size(); ++i) result += (i ? u"\\" : u"") + parts[i];
  // A path that ended in a separator names a folder and keeps it.
  if (!parts.empty() && !p.empty() && p.back() == u'\\') result += u"\\";
  return result;
}

WideString ProgramPath(const WideString& fileName, const WideString& appDir, const WideString& systemDir,
                       const std::function<bool(const WideString&)>& exists) {
  WideString name = StringReplace(fileName, u"/", u"\\");
  if (name.empty()) return name;
  if (PathRootLength(name) > 0) return name;
  // "\\tool.exe" and "D:tool.exe" depend on the current drive and folder:
  // they are read from the product's folder like any other relative name.
  const size_t slash = name.find_last_of(u"\\:");
  const WideString base = slash == WideString::npos ? name : name.substr(slash + 1);
  if (base.find(u'.') == WideString::npos) name += u".exe";
  if (slash != WideString::npos) {
    while (!name.empty() && name.front() == u'\\') name.erase(0, 1);
    if (name.size() >= 2 && name[1] == u':') name.erase(0, 2);
    return appDir + name;
  }
  return exists(appDir + name) ? appDir + name : systemDir + name;
}

std::vector<WideString> OwnProgramPaths(const TSetupFileList& files, const WideString& appTitle) {
  // The exact files the product installs in its folder, not "any program
  // of one of those names in the folder": what the user put there (an
  // app.exe kept in a data folder) or what the product fetched later is not
  // written over or deleted, so it has no reason to end. And a file the
  // product installs outside its folder (a shared tool) may be running for
  // another product: it is left alone as well.
  std::vector<WideString> paths;
  const WideString folder = NormalizedPath(IncludeTrailingBackslash(TSetupfn::AppDir));
  if (folder.empty()) return paths;
  for (int i = 0; i < files.Count(); ++i) {
    const TSetupFile& item = *files.Items(i);
    const WideString name = item.NewFileName.empty() ? item.SourceMask : item.NewFileName;
    if (name.find_first_of(u"*?") != WideString::npos) continue;
    // Most of a large product's files are no programs: they are passed
    // over before their folder is expanded.
    if (!SameText(ExtractFileExt(name), u".exe")) continue;
    const WideString path =
        NormalizedPath(IncludeTrailingBackslash(TSetupfn::ExpandPath(item.DestDir, appTitle)) + name);
    if (path.empty() || !SameText(ExtractFileExt(path), u".exe")) continue;
    if (path.size() <= folder.size() || !SameText(path.substr(0, folder.size()), folder)) continue;
    bool seen = false;
    for (const WideString& have : paths) seen = seen || SameText(have, path);
    if (!seen) paths.push_back(path);
  }
  return paths;
}

WideString WaitedCommandLine(const WideString& fileName, const WideString& params) {
  return Format(u"\"%s\" %s", {fileName, params});
}

WideString ProgramOfCommandLine(const WideString& commandLine) {
  const WideString line = TrimLeft(commandLine);
  if (!line.empty() && line[0] == u'"') {
    const size_t close = line.find(u'"', 1);
    return line.substr(1, close == WideString::npos ? WideString::npos : close - 1);
  }
  const size_t blank = line.find_first_of(u" \t");
  return line.substr(0, blank);
}

WideString LicenseTextFromBytes(const std::string& bytes) {
  WideString text;
  auto utf16 = [&](size_t start, bool bigEndian) {
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
      const auto lo = static_cast<uint8_t>(bytes[bigEndian ? i + 1 : i]);
      const auto hi = static_cast<uint8_t>(bytes[bigEndian ? i : i + 1]);
      text.push_back(static_cast<WideChar>(lo | hi << 8));
    }
  };
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
    utf16(2, false);
  } else if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF) {
    utf16(2, true);
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = Utf8ToWide(bytes.data() + 3, bytes.size() - 3);
  } else {
    text = AnsiToWide(bytes);
  }
  // Every line, the last included, ends with CR LF; an empty text stays
  // empty.
  WideString joined;
  joined.reserve(text.size() + text.size() / 32 + 2);
  size_t i = 0;
  while (i < text.size()) {
    size_t end = i;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    joined.append(text, i, end - i);
    joined.append(u"\r\n");
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ++end;
    i = end + 1;
  }
  return joined;
}
