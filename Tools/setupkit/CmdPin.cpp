// pin ONLINE.exe FULL.exe: points an online setup at a rebuilt full setup.
// The online setup accepts only the full setup whose Authenticode digest it
// holds; after a rebuild of the full setup alone, this writes the new one.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "PackageReader.h"
#include "PeResourceWriter.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "SetupPin.h"

namespace {

const char* const kPinUsage =
    "usage: setupkit pin ONLINE.exe FULL.exe\n"
    "  writes FULL.exe's SHA-256 Authenticode digest into the online setup ONLINE.exe, which\n"
    "  then downloads and installs that full setup only (signed or not); sign ONLINE.exe again afterwards\n";

// The full setup's digest, after making sure it is one: a PE image that
// carries the full script. Its script is returned for a look at the product.
TSha256Digest DigestOfFullSetup(const WideString& fileName, TSetupScript& script) {
  TSha256Digest digest;
  {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    WideString error;
    if (!AuthenticodeSha256(file, digest, error))
      throw Exception(u"\"" + fileName + u"\" is not a full setup: " + error);
  }
  std::unique_ptr<TPeImageResourceReader> resources;
  try {
    resources = TPeImageResourceReader::FromFile(fileName);
  } catch (const EPeFormatError& e) {
    throw Exception(u"\"" + fileName + u"\" is not a full setup: " + e.Message());
  }
  if (!resources->Exists(FullScriptResID))
    throw Exception(u"\"" + fileName + u"\" is not a full setup: " +
                    (resources->Exists(MiniScriptResID) ? WideString(u"it is an online setup")
                                                        : WideString(u"it carries no setup script")));
  TMemoryStream xml;
  try {
    ReadPackageResource(*resources, FullScriptResID, xml);
    script.LoadFromStream(xml, 0);
  } catch (const Exception& e) {
    throw Exception(u"\"" + fileName + u"\": the setup script is damaged: " + e.Message());
  }
  return digest;
}

}  // namespace

int CmdPin(const CommandArgs& args) {
  const int done = ParseFiles(args, "pin", 2, kPinUsage);
  if (done >= 0) return done;
  const WideString onlineFile = Utf8ToWide(args[0]);
  const WideString fullFile = Utf8ToWide(args[1]);

  const TPackageReader online(onlineFile);
  if (!online.IsOnline())
    throw Exception(u"\"" + onlineFile + u"\" is not an online setup: it carries the full script and files" +
                    u" (the online setup comes first: setupkit pin ONLINE.exe FULL.exe)");
  TSetupScript fullScript;
  const TSha256Digest digest = DigestOfFullSetup(fullFile, fullScript);
  // Another product's full setup is most likely the wrong file; it is the
  // publisher's call, so it is said but not refused.
  const TSetupBaseInfo& want = *online.Script().BaseInfo();
  const TSetupBaseInfo& got = *fullScript.BaseInfo();
  if (want.GUID != got.GUID)
    std::fprintf(stderr, "setupkit: warning: \"%s\" is product %s, the online setup installs %s\n",
                 WideToUtf8(fullFile).c_str(), WideToUtf8(got.GUID).c_str(), WideToUtf8(want.GUID).c_str());
  else if (want.Version != got.Version)
    std::fprintf(stderr, "setupkit: warning: \"%s\" is version %s, the online setup shows version %s\n",
                 WideToUtf8(fullFile).c_str(), WideToUtf8(got.Version).c_str(), WideToUtf8(want.Version).c_str());

  TSha256Digest old;
  bool same = false;
  try {
    same = ReadSetupPin(online.Resources(), old) && old == digest;
  } catch (const Exception&) {
    // A damaged pin is what this command repairs: it is replaced below.
  }
  if (same) {
    // Left alone, so that a signed online setup keeps its signature.
    std::printf("%s: already pinned to %s\n", args[0].c_str(), DigestToHex(digest).c_str());
    return 0;
  }
  TMemoryStream image;
  image.LoadFromFile(onlineFile);
  TPeResourceWriter writer(image.TakeBytes());
  writer.SetResource(TResourceId::FromId(RT_RCDATA_ID), TResourceId::FromName(Utf8ToWide(FullSetupPinResID)), 0,
                     EncodedSetupPin(digest));
  writer.SaveToFile(onlineFile);
  std::printf("%s: pinned to %s (SHA-256 %s)\n", args[0].c_str(), args[1].c_str(), DigestToHex(digest).c_str());
  if (writer.WasSigned())
    std::printf("%s: its signature was removed with the change: sign it again\n", args[0].c_str());
  return 0;
}
