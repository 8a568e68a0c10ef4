// The module (shared object or DLL) this code was loaded from. Windows sets it
// in DllMain; on Linux a constructor function finds the module's own handle.
// The widget layer loads the skin bitmaps through it.
#pragma once

extern void* hInstance;
