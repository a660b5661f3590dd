#include "SetupPin.h"

#include <algorithm>

#include "MySetupUtils.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

std::string EncodedSetupPin(const TSha256Digest& digest) {
  TMemoryStream m(std::string(digest.begin(), digest.end()));
  TSetupfn::EncodeStream(m);
  return m.TakeBytes();
}

bool ReadSetupPin(const TResourceReader& reader, TSha256Digest& pin) {
  if (!PackageResourceExists(reader, FullSetupPinResID)) return false;
  TMemoryStream m;
  try {
    ReadPackageResource(reader, FullSetupPinResID, m);
  } catch (const Exception& e) {
    throw Exception(u"The full setup pin (resource " + AnsiToWide(FullSetupPinResID) + u") is damaged: " + e.Message());
  }
  if (m.GetSize() != static_cast<int64_t>(pin.size()))
    throw Exception(u"The full setup pin (resource " + AnsiToWide(FullSetupPinResID) + u") holds " +
                    IntToStr(m.GetSize()) + u" bytes, not the 32 of a SHA-256 digest");
  std::copy_n(reinterpret_cast<const uint8_t*>(m.Memory()), pin.size(), pin.begin());
  return true;
}
