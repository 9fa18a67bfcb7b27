// The plug-in's entry points for hosts of the Lister plugin interface: the viewer lives as a
// child of the host's window. No exception leaves an export.
#include "schematic/win/view.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr char kDetectString[] = "ext=\"SCH\" | ext=\"SCHDOC\" | ext=\"SCHDOT\" | ext=\"SBK\"";
static_assert(sizeof kDetectString - 1 == 51);

HWND load(HWND parent, const std::wstring& path) {
    return schematic::win::createViewWindow(parent, path, true);
}

int loadNext(HWND view, const std::wstring& path) {
    return schematic::win::reloadViewWindow(view, path) ? 0 : 1;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    try {
        if (reason == DLL_PROCESS_ATTACH) {
            DisableThreadLibraryCalls(instance);
            schematic::win::setModuleInstance(instance);
        }
    } catch (...) {
    }
    return TRUE;
}

HWND WINAPI ListLoad(HWND parent, char* file, int) {
    try {
        if (!parent || !file) return nullptr;
        return load(parent, schematic::win::ansiToWide(file));
    } catch (...) {
        return nullptr;
    }
}

HWND WINAPI ListLoadW(HWND parent, WCHAR* file, int) {
    try {
        if (!parent || !file) return nullptr;
        return load(parent, std::wstring(file));
    } catch (...) {
        return nullptr;
    }
}

int WINAPI ListLoadNext(HWND, HWND view, char* file, int) {
    try {
        if (!file) return 1;
        return loadNext(view, schematic::win::ansiToWide(file));
    } catch (...) {
        return 1;
    }
}

int WINAPI ListLoadNextW(HWND, HWND view, WCHAR* file, int) {
    try {
        if (!file) return 1;
        return loadNext(view, std::wstring(file));
    } catch (...) {
        return 1;
    }
}

void WINAPI ListCloseWindow(HWND view) {
    try {
        schematic::win::closeViewWindow(view);
    } catch (...) {
    }
}

void WINAPI ListGetDetectString(char* buffer, int size) {
    try {
        if (!buffer || size <= 0) return;
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(size) - 1, sizeof kDetectString - 1);
        std::memcpy(buffer, kDetectString, n);
        buffer[n] = '\0';
    } catch (...) {
    }
}

}  // extern "C"
