#pragma once
// Word's objects as the program reaches them: application, documents, document, page setup,
// selection, range, shapes, shape, shape range and wrap format.

#include "Dispatch.h"

namespace wordstub {

// A new application object with one reference, for the class factory.
StubObject* NewApplication();

} // namespace wordstub
