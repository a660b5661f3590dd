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

bool WantsHelp(const CommandArgs& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

int RunCodec(const CommandArgs& args, const char* name, void (*codec)(TMemoryStream&)) {
  if (WantsHelp(args)) {
    std::printf("usage: setupkit %s IN OUT\n", name);
    return 0;
  }
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: setupkit %s IN OUT\n", name);
    return 2;
  }
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
