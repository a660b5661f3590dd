// The installer's decisions that need no window and no system: which
// languages a package offers and which one the automatic modes take, the
// completion address code, the values of the uninstall entry, the command
// lines the installer starts. Kept apart so they are checked natively.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "QvTypes.h"

class TSetupBaseInfo;
class TSetupFileList;

// "CHS" always, then "CHT" and "ENG" where the script has a title in them.
std::vector<WideString> OfferedLanguages(const TSetupBaseInfo& info);
// Position of code in the list, ignoring case; -1 when it is not offered.
int IndexOfLanguage(const std::vector<WideString>& offered, const WideString& code);
// Without a dialog (/Silent, /Auto): the system's language when offered,
// else English when offered, else Simplified Chinese.
WideString AutomaticLanguage(const std::vector<WideString>& offered, const WideString& systemCode);
// The item the language dialog preselects: the system's language, else
// English, else the first.
int PreselectedLanguage(const std::vector<WideString>& offered, const WideString& systemCode);
// The title in the language, falling back to the Simplified Chinese one.
WideString AppTitleFor(const TSetupBaseInfo& info, const WideString& code);
// The license resource name for the language.
WideString LicenseResIDFor(const TSetupBaseInfo& info, const WideString& code);

// The completion address with "rcode=" and the digits that follow the
// first underscore of the installer's file title ("Setup_20188" gives
// 20188); the address unchanged when the title carries no code.
WideString AppendRCode(const WideString& url, const WideString& installerFileTitle);

// "EstimatedSize": the files' sizes in whole kilobytes, summed in 64 bits
// so that products over 2 GB are counted right; at most the DWORD range.
uint32_t EstimatedSizeKB(const TSetupFileList& files);
// "InstallDate": the local date as eight digits, yyyymmdd.
WideString InstallDateText(TDateTime now);
// The uninstaller's command lines for an installation folder (which ends
// with a backslash): "\"<folder>\Uninstall.exe\"" and the same + " /SILENT".
WideString UninstallString(const WideString& appDir);
WideString QuietUninstallString(const WideString& appDir);

// The programs that the installer ends before it writes the files and the
// uninstaller before it deletes them: the full paths at which the script's
// ".exe" items are installed (the expanded DestDir with NewFileName, else
// SourceMask), each once, "." and ".." resolved, "/" read as "\". Only
// paths inside TSetupfn::AppDir count: a program elsewhere may be shared
// with other products or be the user's own, and the same name in another
// folder is another program. Empty when AppDir is not an absolute folder.
std::vector<WideString> OwnProgramPaths(const TSetupFileList& files, const WideString& appTitle);
// path with "/" read as "\", empty parts, "." and ".." resolved and each
// part's trailing dots and blanks dropped, as Windows reads a path; empty
// when it is not absolute (a drive and a backslash, or a network share) or
// ".." leaves its root.
WideString NormalizedPath(const WideString& path);
// The file a program of the run lists starts from, so that nothing is
// searched for in the folders the system would search (the setup's own
// folder, the working folder, PATH), where others may have put a program
// of that name. An absolute path stays as it is; a relative one with a
// folder ("bin\tool.exe") lies in appDir; a bare name is the product's
// file in appDir when exists() finds it there, else the system's program
// in systemDir. A name without an extension gets ".exe", as the system
// would have given it. Both folders end in a backslash.
WideString ProgramPath(const WideString& fileName, const WideString& appDir, const WideString& systemDir,
                       const std::function<bool(const WideString&)>& exists);
// A waited program's command line: the file in quotes, one space, then the
// parameters (the space is there even when they are empty).
WideString WaitedCommandLine(const WideString& fileName, const WideString& params);

// The program a command line starts: what stands between the first pair
// of quotes when it begins with one, else everything up to the first
// blank (what the system tries first for an unquoted path with blanks).
WideString ProgramOfCommandLine(const WideString& commandLine);

// A license text's bytes as lines joined with CR LF after every line. A
// byte-order mark decides the encoding (FF FE UTF-16 LE, FE FF UTF-16 BE,
// EF BB BF UTF-8); without one the bytes are in the ANSI code page. Lines
// break at CR LF, CR or LF.
WideString LicenseTextFromBytes(const std::string& bytes);
