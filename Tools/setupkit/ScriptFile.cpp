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
  } catch (const EAssertionFailed&) {
    // The reader's own checks of a tag's inside (a name, an attribute's
    // quotes) fire on bytes that are no XML at all, a program say.
    throw EXmlException(u"\"" + fileName + u"\" is not a valid XML document: a tag in it is malformed");
  }
  if (!doc.Root) throw Exception(u"\"" + fileName + u"\" is not a setup script: no XML element found");
  // The reader takes much for XML (a program's bytes hold "<" here and
  // there); a script is the document whose root is TSetupScript.
  if (doc.Root->Name != "TSetupScript")
    throw Exception(u"\"" + fileName + u"\" is not a setup script: its root element is not <TSetupScript>");
  // What the document leaves out keeps the fresh GUIDs a new script is
  // made with: compared after loading, they tell what it left out.
  const WideString freshGUID = script.BaseInfo()->GUID;
  const TSetupVar* var = script.VarList()->FindVar(u"{GUID}");
  const WideString freshVar = var ? var->VarValue : WideString();
  script.LoadFromNode(doc.Root.get(), 0);
  // A product's GUID is its identity to Windows (its uninstall entry): one
  // drawn anew at each build would make every build another product, so a
  // project without one is left without one, which the checks refuse.
  TSetupBaseInfo& info = *script.BaseInfo();
  if (info.GUID == freshGUID) info.GUID.clear();
  // The {GUID} variable the project does not set stands for the product's.
  if (TSetupVar* v = script.VarList()->FindVar(u"{GUID}"); v && !freshVar.empty() && v->VarValue == freshVar)
    v->VarValue = info.GUID;
}
