// encode IN OUT / decode IN OUT: the package codec over whole files.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "HostFiles.h"
#include "MySetupUtils.h"
#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace {

// Arguments arrive as UTF-8 on every platform (see main.cpp).
WideString PathArg(const std::string& arg) { return Utf8ToWide(arg); }

int RunCodec(const CommandArgs& args, const char* name, void (*codec)(TMemoryStream&)) {
  const std::string usage = std::string("usage: setupkit ") + name + " IN OUT\n";
  const int done = ParseFiles(args, name, 2, usage.c_str());
  if (done >= 0) return done;
  TMemoryStream data;
  data.LoadFromFile(PathArg(args[0]));
  try {
    codec(data);
  } catch (const EZDecompressionError& e) {
    // The codec's own message is the bare "Error"; the user needs to know
    // which file it was about.
    throw EZDecompressionError(u"\"" + PathArg(args[0]) + u"\" cannot be decoded: " + e.Message() +
                               u" (not a file in the package format?)");
  }
  SaveFileAtomically(data.Bytes(), PathArg(args[1]));
  return 0;
}

}  // namespace

int CmdEncode(const CommandArgs& args) { return RunCodec(args, "encode", &TSetupfn::EncodeStream); }

int CmdDecode(const CommandArgs& args) { return RunCodec(args, "decode", &TSetupfn::DecodeStream); }
