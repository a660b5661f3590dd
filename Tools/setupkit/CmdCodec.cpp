// encode IN OUT / decode IN OUT: the package codec over whole files.
#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>

#include "Commands.h"
#include "MySetupUtils.h"
#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

#ifdef _WIN32
#include <filesystem>
#endif

namespace {

// Arguments arrive as UTF-8 on every platform (see main.cpp).
WideString PathArg(const std::string& arg) { return Utf8ToWide(arg); }

void RenameFile(const WideString& from, const WideString& to) {
#ifdef _WIN32
  // std::filesystem goes through MoveFileExW with replace-existing, which
  // _wrename lacks.
  std::error_code ec;
  std::filesystem::rename(std::filesystem::path(from), std::filesystem::path(to), ec);
  if (ec) throw EInOutError(u"Cannot rename \"" + from + u"\" to \"" + to + u"\". " + Utf8ToWide(ec.message()));
#else
  if (std::rename(WideToUtf8(from).c_str(), WideToUtf8(to).c_str()) != 0) {
    const int err = errno;
    throw EInOutError(u"Cannot rename \"" + from + u"\" to \"" + to + u"\". " + SysErrorMessage(err));
  }
#endif
}

// A name beside the target, so the final rename stays on one volume.
WideString TempNameFor(const WideString& target) {
  std::random_device rd;
  return target + u"." + IntToHex(static_cast<uint32_t>(rd()), 8) + u".tmp";
}

// Writes content to fileName as a whole: readers never see a half-written
// file, and a failure leaves no file behind.
void SaveAtomically(const TMemoryStream& content, const WideString& fileName) {
  const WideString temp = TempNameFor(fileName);
  try {
    {
      TFileStream out(temp, fmCreate);
      out.WriteBuffer(content.Memory(), static_cast<int64_t>(content.Bytes().size()));
      out.Close();
    }
    RenameFile(temp, fileName);
  } catch (...) {
    DeleteFile(temp);
    throw;
  }
}

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
  codec(data);
  SaveAtomically(data, PathArg(args[1]));
  return 0;
}

}  // namespace

int CmdEncode(const CommandArgs& args) { return RunCodec(args, "encode", &TSetupfn::EncodeStream); }

int CmdDecode(const CommandArgs& args) { return RunCodec(args, "decode", &TSetupfn::DecodeStream); }
