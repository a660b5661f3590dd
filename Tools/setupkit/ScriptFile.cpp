#include "ScriptFile.h"

#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvXmlUtils.h"
#include "SetupProject.h"

void LoadScriptDocument(const WideString& fileName, TSetupScript& script) {
  TFileStream in(fileName, fmOpenRead | fmShareDenyNone);
  TXmlDocument doc;
  try {
    doc.LoadFromStream(in);
  } catch (const EXmlException& e) {
    throw EXmlException(u"\"" + fileName + u"\" is not a valid XML document: " + e.Message());
  }
  if (!doc.Root) throw Exception(u"\"" + fileName + u"\" is not a setup script: no XML element found");
  script.LoadFromNode(doc.Root.get(), 0);
}
