// The module (shared object or DLL) this code is built into. Windows records
// its handle in DllMain; on Linux a constructor function finds it. Only the
// format glue reads hInstance: it hands the handle to what needs it (the
// skin's lookup, the editor's window class), so nothing below the glue
// depends on which binary it ends up in.
#pragma once

extern void* hInstance;

namespace kvbplatform {

// The handle of the module that holds `address` (for this code's own
// address: the handle in hInstance), or null.
void* moduleContaining(const void* address);

// Keeps `module` (a handle as hInstance holds) loaded until the process ends,
// whatever the host unloads: done once an editor is shown, so that the
// libraries it brought in (cairo, fontconfig, freetype on Linux), which leak
// when unloaded, are loaded once per process. Null or foreign handles are
// left alone. Any thread.
void keepModuleLoaded(void* module);

}  // namespace kvbplatform
