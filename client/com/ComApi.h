// The Windows and automation headers and the interface generated from the type library.
// windows.h turns DeleteFile into DeleteFileA; the macro is dropped before the interface
// is declared so that the method keeps its own name everywhere in the component.
#pragma once

// COM objects implement interfaces that have no virtual destructor: an object is only
// ever deleted by its own Release, through its own type.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

#include <windows.h>

#include <oleauto.h>  // needs windows.h first
#undef DeleteFile

#include "Pelorin_Client_h.h"
