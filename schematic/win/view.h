// The viewer window as the standalone program and the plug-in see it: create it inside a parent
// window, load a further file into it, destroy it, and the text conversions of this boundary.
#pragma once

#include <windows.h>

#include <string>

namespace schematic::win {

inline constexpr wchar_t kViewClassName[] = L"Kestrelgraph.View.1";
inline constexpr wchar_t kCanvasClassName[] = L"Kestrelgraph.Canvas.1";

// The module whose instance registers the classes and owns the windows.
void setModuleInstance(HINSTANCE instance);

// Creates the view as a child filling `parent`'s client area and loads `path` (not quietly).
// Null for a null parent, a failed class registration or a failed window creation.
HWND createViewWindow(HWND parent, const std::wstring& path, bool embedded);

// A quiet load into an existing view: false leaves the view as it was. Only a view window of
// this process is accepted.
bool reloadViewWindow(HWND view, const std::wstring& path);

// Destroys a view window of this process; any other handle is left alone.
void closeViewWindow(HWND view);

// True for a live window of the view class that belongs to this process.
bool isViewWindow(HWND window);

// UTF-16 to UTF-8: empty when nothing converts.
std::string wideToUtf8(const std::wstring& text);
// UTF-8 to UTF-16: "?" when nothing converts (empty stays empty).
std::wstring utf8ToWide(const std::string& text);
// The system's ANSI code page to UTF-16: empty for null or when nothing converts.
std::wstring ansiToWide(const char* text);

}  // namespace schematic::win
