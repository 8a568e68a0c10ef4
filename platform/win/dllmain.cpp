// The Windows library entry: records the module handle, from which the widget
// layer loads the skin bitmaps and registers its window class.
#include <windows.h>

#include "shell/Module.h"

void* hInstance = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
    hInstance = instance;
    return 1;
}
