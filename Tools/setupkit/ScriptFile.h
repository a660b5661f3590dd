// Reading a setup script or project document from a file.
#pragma once

#include "QvTypes.h"

class TSetupScript;

// What LoadFromFile does, except that a document without any element is
// refused: the persistence layer would load nothing and leave a default
// script, which is not what the file holds.
void LoadScriptDocument(const WideString& fileName, TSetupScript& script);
