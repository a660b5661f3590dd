// Reading a setup script or project document from a file.
#pragma once

#include "QvTypes.h"

class TSetupScript;

// What LoadFromFile does, except that a document without any element is
// refused: the persistence layer would load nothing and leave a default
// script, which is not what the file holds. A document without a product
// GUID leaves it empty rather than a fresh one (see the checks), and the
// "{GUID}" variable it does not set holds the product's GUID.
void LoadScriptDocument(const WideString& fileName, TSetupScript& script);
