// The canvas: paints the current page through a back buffer, turns the mouse and keys into pan,
// zoom, page changes and the layer menu.
#include "schematic/win/gdi_target.h"
#include "schematic/win/view_state.h"

#include <windowsx.h>

#include <cmath>
#include <exception>

namespace schematic::win {

namespace {

ViewState* canvasState(HWND canvas) { return viewState(GetParent(canvas)); }

void redraw(ViewState* state, HDC dc, const RECT& client) {
    if (state->cache.overLimit()) state->cache.clear();
    if (HBRUSH background = state->cache.brush(backgroundColour(state->dark)))
        FillRect(dc, &client, background);
    if (state->core) {
        GdiTarget target(dc, state->cache);
        state->core->paint(target);
        return;
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, state->dark ? RGB(0xE6, 0xE6, 0xE6) : RGB(0x1E, 0x1E, 0x1E));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT inset = client;
    InflateRect(&inset, -15, -15);
    DrawTextW(dc, state->message.c_str(), static_cast<int>(state->message.size()), &inset,
              DT_WORDBREAK | DT_NOPREFIX);
    if (oldFont) SelectObject(dc, oldFont);
}

void paint(HWND canvas) {
    PAINTSTRUCT ps;
    HDC windowDc = BeginPaint(canvas, &ps);
    if (!windowDc) return;
    ViewState* state = canvasState(canvas);
    RECT client{};
    if (state && GetClientRect(canvas, &client) && client.right > 0 && client.bottom > 0) {
        const int w = client.right, h = client.bottom;
        const bool buffered = state->backBuffer.ensure(windowDc, w, h);
        HDC dc = buffered ? state->backBuffer.dc : windowDc;
        if (state->dirty || !buffered) {
            try {
                redraw(state, dc, client);
                if (buffered) state->dirty = false;
            } catch (...) {
                // A page that failed to paint stays dirty and is tried again at the next paint.
            }
        }
        if (buffered) BitBlt(windowDc, 0, 0, w, h, state->backBuffer.dc, 0, 0, SRCCOPY);
    }
    EndPaint(canvas, &ps);
}

void fit(ViewState* state) {
    if (!state->core) return;
    state->core->fitToView();
    invalidateCanvas(state);
    updateStatus(state);
}

void toggleTheme(ViewState* state) {
    state->dark = !state->dark;
    updateThemeButton(state);
    saveDarkSetting(state->dark);
}

POINT canvasCentre(HWND canvas) {
    RECT client{};
    GetClientRect(canvas, &client);
    return POINT{client.right / 2, client.bottom / 2};
}

LRESULT onKey(HWND canvas, ViewState* state, WPARAM key, LPARAM lParam) {
    if (handleSharedKey(state, key, lParam)) return 0;
    if (!state) return DefWindowProcW(canvas, WM_KEYDOWN, key, lParam);
    const std::size_t pages = state->core ? state->core->pageCount() : 0;
    switch (key) {
        case VK_NEXT:
            if (pages < 2) break;
            selectPage(state, (state->core->currentPage() + 1) % pages);
            return 0;
        case VK_PRIOR:
            if (pages < 2) break;
            selectPage(state, (state->core->currentPage() + pages - 1) % pages);
            return 0;
        case VK_HOME:
        case 'F': fit(state); return 0;
        case 'I':
            toggleTheme(state);
            invalidateCanvas(state);
            return 0;
        case 'L': {
            POINT centre = canvasCentre(canvas);
            ClientToScreen(canvas, &centre);
            showContextMenu(state, centre);
            return 0;
        }
        case VK_ADD:
        case VK_OEM_PLUS: zoomAt(state, 1.25, -1, -1); return 0;
        case VK_SUBTRACT:
        case VK_OEM_MINUS: zoomAt(state, 0.8, -1, -1); return 0;
        default: break;
    }
    return DefWindowProcW(canvas, WM_KEYDOWN, key, lParam);
}

// A left or middle button press starts dragging the page.
void startDrag(HWND canvas, ViewState* state, LPARAM lParam) {
    if (!state) return;
    state->dragging = true;
    state->lastX = GET_X_LPARAM(lParam);
    state->lastY = GET_Y_LPARAM(lParam);
    SetFocus(canvas);
    SetCapture(canvas);
}

void dragTo(ViewState* state, LPARAM lParam) {
    if (!state || !state->dragging || !state->core) return;
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    state->core->pan(x - state->lastX, y - state->lastY);
    state->lastX = x;
    state->lastY = y;
    invalidateCanvas(state);
}

void contextMenuAt(HWND canvas, ViewState* state, LPARAM lParam) {
    if (!state) return;
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(canvas, &point);
    showContextMenu(state, point);
}

// The wheel zooms about the pointer; its position comes in screen coordinates.
void wheelZoom(HWND canvas, ViewState* state, WPARAM wParam, LPARAM lParam) {
    if (!state || !state->core) return;
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(canvas, &point);
    // High-resolution wheels send fractions of a notch.
    const double notches = GET_WHEEL_DELTA_WPARAM(wParam) / 120.0;
    zoomAt(state, std::pow(1.18, notches), point.x, point.y);
}

LRESULT canvasMessage(HWND canvas, UINT message, WPARAM wParam, LPARAM lParam) {
    ViewState* state = canvasState(canvas);
    switch (message) {
        case WM_PAINT: paint(canvas); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_GETDLGCODE:
            if (isSharedKey(wParam)) return DLGC_WANTALLKEYS;
            break;
        case WM_CHAR:
            if (isSharedKey(wParam)) return 0;
            break;
        case WM_KEYDOWN: return onKey(canvas, state, wParam, lParam);
        case WM_LBUTTONDOWN:
        case WM_MBUTTONDOWN: startDrag(canvas, state, lParam); return 0;
        case WM_MOUSEMOVE: dragTo(state, lParam); return 0;
        case WM_LBUTTONUP:
        case WM_MBUTTONUP:
            if (state) state->dragging = false;
            if (GetCapture() == canvas) ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            if (state) state->dragging = false;
            return 0;
        case WM_LBUTTONDBLCLK: zoomAt(state, 1.5, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_RBUTTONUP: contextMenuAt(canvas, state, lParam); return 0;
        case WM_MOUSEWHEEL: wheelZoom(canvas, state, wParam, lParam); return 0;
        default: break;
    }
    return DefWindowProcW(canvas, message, wParam, lParam);
}

}  // namespace

COLORREF backgroundColour(bool dark) { return dark ? RGB(0x0C, 0x10, 0x16) : RGB(0xFF, 0xFF, 0xFF); }

bool BackBuffer::ensure(HDC windowDc, int w, int h) {
    if (dc && width == w && height == h) return true;
    release();
    if (w <= 0 || h <= 0) return false;
    dc = CreateCompatibleDC(windowDc);
    if (dc) bitmap = CreateCompatibleBitmap(windowDc, w, h);
    if (bitmap) oldBitmap = SelectObject(dc, bitmap);
    if (!dc || !bitmap || !oldBitmap || oldBitmap == HGDI_ERROR) {
        if (oldBitmap == HGDI_ERROR) oldBitmap = nullptr;
        release();
        return false;
    }
    width = w;
    height = h;
    return true;
}

void BackBuffer::release() {
    if (dc && oldBitmap) SelectObject(dc, oldBitmap);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    dc = nullptr;
    bitmap = nullptr;
    oldBitmap = nullptr;
    width = height = 0;
}

LRESULT CALLBACK canvasWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Nothing may unwind through USER32's frames; a failed step leaves the view as it is.
    try {
        return canvasMessage(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

bool zoomAt(ViewState* state, double factor, int x, int y) {
    if (!state || !state->core) return false;
    RECT client{};
    if (state->canvas) GetClientRect(state->canvas, &client);
    if (x < 0) x = client.right / 2;
    if (y < 0) y = client.bottom / 2;
    state->core->zoomAt(x, y, factor);
    invalidateCanvas(state);
    updateStatus(state);
    return true;
}

void selectPage(ViewState* state, std::size_t index) {
    if (!state || !state->core) return;
    try {
        state->core->selectPage(index);
    } catch (const std::exception& error) {
        fillPageCombo(state);
        MessageBoxW(state->view, utf8ToWide(error.what()).c_str(), L"Unable to open page", MB_ICONERROR);
        return;
    } catch (...) {
        fillPageCombo(state);
        MessageBoxW(state->view, L"Unable to open selected page", L"Unable to open page", MB_ICONERROR);
        return;
    }
    fillPageCombo(state);
    invalidateCanvas(state);
    updateStatus(state);
}

HMENU buildContextMenu(ViewState* state) {
    if (!state || !state->core) return nullptr;
    HMENU menu = CreatePopupMenu();
    if (!menu) return nullptr;
    AppendMenuW(menu, MF_STRING, MenuFit, L"Fit to view\tF");
    AppendMenuW(menu, MF_STRING, MenuTheme, L"Toggle light / dark\tI");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, MenuAllLayers, L"Show all layers");
    const auto& layers = state->core->layers();
    const std::uint32_t visible = state->core->visibleLayers();
    // Layer ids stop short of the fixed entries' ids.
    for (std::size_t i = 0; i < layers.size() && i < MenuAllLayers - MenuLayerBase; ++i) {
        const UINT flags = MF_STRING | ((visible & layers[i].bit) ? MF_CHECKED : MF_UNCHECKED);
        AppendMenuW(menu, flags, MenuLayerBase + i, utf8ToWide(layers[i].name).c_str());
    }
    return menu;
}

void applyMenuCommand(ViewState* state, int command) {
    if (!state || !state->core) return;
    const auto& layers = state->core->layers();
    if (command == MenuAllLayers) {
        std::uint32_t all = 0;
        for (const LayerInfo& layer : layers) all |= layer.bit;
        state->core->setVisibleLayers(all);
    } else if (command >= MenuLayerBase && command < MenuAllLayers &&
               static_cast<std::size_t>(command - MenuLayerBase) < layers.size()) {
        state->core->toggleLayer(layers[command - MenuLayerBase].bit);
    } else if (command == MenuFit) {
        fit(state);
        return;
    } else if (command == MenuTheme) {
        toggleTheme(state);
    } else {
        return;
    }
    invalidateCanvas(state);
}

void showContextMenu(ViewState* state, POINT screen) {
    HMENU menu = buildContextMenu(state);
    if (!menu) return;
    HWND view = state->view;
    if (HWND root = GetAncestor(view, GA_ROOT)) SetForegroundWindow(root);
    const int command = static_cast<int>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0, view, nullptr));
    DestroyMenu(menu);
    // The menu's modal loop may have seen the view destroyed (and its state freed).
    if (viewState(view) == state) applyMenuCommand(state, command);
}

}  // namespace schematic::win
