// Folder placeholders of script texts and the process-wide folder values
// they expand to.
#include "MySetupUtils.h"

#include "QvSysUtils.h"

WideString TSetupfn::ProgramFilesDir;
WideString TSetupfn::DesktopDir;
WideString TSetupfn::CommonProgramsDir;
WideString TSetupfn::GroupName;
WideString TSetupfn::AppDir;

namespace {

// One pass over non-overlapping pairs: "\\\" becomes "\\", "\\\\" too.
// Scripts write "{app}\bin" although AppDir ends with a backslash, so the
// doubled separator is expected. A text that begins with two backslashes is
// a network path ("\\server\share\..."), whose leading pair must survive;
// pairs after it collapse as anywhere else.
WideString CollapseDoubledBackslashes(const WideString& s) {
  WideString result;
  result.reserve(s.size());
  size_t i = 0;
  if (s.size() >= 2 && s[0] == u'\\' && s[1] == u'\\') {
    result.append(u"\\\\");
    i = 2;
  }
  while (i < s.size()) {
    result.push_back(s[i]);
    i += (s[i] == u'\\' && i + 1 < s.size() && s[i + 1] == u'\\') ? 2 : 1;
  }
  return result;
}

// The folder values are read once as the process starts, before any text is
// expanded; the group and the destination come later from the installer.
struct TFolderInit {
  TFolderInit() { TSetupfn::InitFolders(); }
} gFolderInit;

}  // namespace

// Each step works on the result of the one before, so inserted values are
// expanded further (a title holding "{pf}") and collapsed by the last step.
WideString TSetupfn::ExpandPath(const WideString& text, const WideString& title) {
  WideString s = StringReplace(text, u"{AppTitle}", title);
  s = StringReplace(s, u"{pf}", ProgramFilesDir);
  s = StringReplace(s, u"{group}", IncludeTrailingBackslash(CommonProgramsDir + GroupName));
  s = StringReplace(s, u"{desktop}", DesktopDir);
  s = StringReplace(s, u"{app}", AppDir);
  s = StringReplace(s, u"{srcexe}", ParamStr(0));
  return CollapseDoubledBackslashes(s);
}

#ifndef _WIN32
// A native process has no Windows folders; whoever needs them sets them.
void TSetupfn::InitFolders() {}
#endif
