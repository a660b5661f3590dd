// script FILE.xml [--json]: reads a setup script as the installer would and
// prints what it understood, in the XML form it writes or as JSON.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "QvXmlUtils.h"
#include "ScriptFile.h"
#include "SetupProject.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char* const kScriptUsage = "usage: setupkit script FILE.xml [--json]\n";

void WriteToStdout(const std::string& bytes) {
#ifdef _WIN32
  // The XML form ends its lines with CR LF itself; text mode would double
  // the CR.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
    throw EWriteError(u"Cannot write to standard output");
}

}  // namespace

int CmdScript(const CommandArgs& args) {
  std::string file;
  bool json = false;
  const int done = ParseFileAndFlag(args, "script", "--json", kScriptUsage, file, json);
  if (done >= 0) return done;

  const WideString fileName = Utf8ToWide(file);
  TSetupScript script;
  LoadScriptDocument(fileName, script);

  TMemoryStream out;
  if (json) {
    script.SaveToJsonStream(out, 0);
    // A terminal prompt should not follow the closing brace on its line.
    if (out.Bytes().empty() || out.Bytes().back() != '\n') out.WriteString("\n");
  } else {
    script.SaveToStream(out, 0);
  }
  WriteToStdout(out.Bytes());
  return 0;
}
