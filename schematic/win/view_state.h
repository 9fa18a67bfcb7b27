// The per-view record and the routines of the view, the canvas, loading, settings and status
// that share it. Private to the window library and its tests.
#pragma once

#include "schematic/viewer_core.h"
#include "schematic/win/gdi_cache.h"
#include "schematic/win/view.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace schematic::win {

enum ControlId : int {
    IdFit = 1101,
    IdZoomIn = 1102,
    IdZoomOut = 1103,
    IdTheme = 1104,
    IdLayers = 1105,
    IdSvg = 1106,
    IdPages = 1107,
    IdCanvas = 1108,
    IdStatus = 1109,
};

enum MenuId : int {
    MenuLayerBase = 2200,
    MenuAllLayers = 2400,
    MenuTheme = 2401,
    MenuFit = 2402,
};

// The canvas's off-screen copy, redrawn only when the view is dirty.
struct BackBuffer {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    int width = 0;
    int height = 0;

    BackBuffer() = default;
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;
    ~BackBuffer() { release(); }

    // A memory context of exactly w by h compatible with `windowDc` is ready.
    bool ensure(HDC windowDc, int w, int h);
    void release();
};

struct ViewState {
    HWND view = nullptr;
    HWND canvas = nullptr;
    HWND status = nullptr;
    HWND pages = nullptr;
    HWND fitButton = nullptr;
    HWND zoomInButton = nullptr;
    HWND zoomOutButton = nullptr;
    HWND themeButton = nullptr;
    HWND layersButton = nullptr;
    HWND svgButton = nullptr;
    std::unique_ptr<ViewerCore> core;  // the open file and its view; null when none is open
    std::wstring path;
    std::wstring message;
    BackBuffer backBuffer;
    GdiCache cache;
    bool dirty = true;
    bool dragging = false;
    bool dark = true;
    bool embedded = false;
    int lastX = 0;
    int lastY = 0;

    ViewState() = default;
    ViewState(const ViewState&) = delete;
    ViewState& operator=(const ViewState&) = delete;
    // The back buffer goes first: cached objects may still be selected into it.
    ~ViewState();
};

// The state of a view window (its user-data slot); null for any other window.
ViewState* viewState(HWND view);

LRESULT CALLBACK viewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK canvasWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK controlSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR refData);

// Space, Backspace and Escape act the same wherever the focus is inside the view.
bool handleSharedKey(ViewState* state, WPARAM key, LPARAM lParam);
inline bool isSharedKey(WPARAM key) { return key == VK_BACK || key == VK_ESCAPE || key == VK_SPACE; }
void layoutView(ViewState* state);
void fillPageCombo(ViewState* state);
void updateThemeButton(ViewState* state);
// Marks the back buffer stale and asks the canvas to repaint without erasing.
void invalidateCanvas(ViewState* state);

bool loadDocument(ViewState* state, const std::wstring& path, bool quiet);
void stepDocument(ViewState* state, int direction);

bool zoomAt(ViewState* state, double factor, int x, int y);
void selectPage(ViewState* state, std::size_t index);
void showContextMenu(ViewState* state, POINT screen);
// The layer menu as it would open now (the caller destroys it); null without a document.
HMENU buildContextMenu(ViewState* state);
// What choosing `command` in the layer menu does (0 or an unknown id: nothing).
void applyMenuCommand(ViewState* state, int command);
// The colour the canvas is cleared to, as a COLORREF.
COLORREF backgroundColour(bool dark);

std::wstring settingsPath();
bool readDarkSetting();
void saveDarkSetting(bool dark);
void updateStatus(ViewState* state);
// The text the status line shows now.
std::wstring statusLineText(const ViewState* state);
void exportSvgDialog(ViewState* state);
// The name the save dialog proposes for a document path.
std::wstring defaultSvgName(const std::wstring& path);
// Writes the current page to `file`; the error text when that failed.
std::optional<std::wstring> exportSvgTo(ViewState* state, const std::wstring& file);

// The module instance, taken from the program file when none was set.
HINSTANCE moduleInstance();
// The part of a path after its last '\' or '/'.
std::wstring fileNamePart(const std::wstring& path);

}  // namespace schematic::win
