// The view window: its classes, creation, child controls and layout, shared keys, commands,
// dropped files and teardown; and the entry points the standalone program and plug-in use.
#include "schematic/win/view_state.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <new>

namespace schematic::win {

namespace {

HINSTANCE gInstance = nullptr;

constexpr UINT_PTR kSubclassId = 1;

// What the creation message receives: the state and whether the window took it.
struct CreationParams {
    ViewState* state;
    bool taken;
};

bool registerClasses(HINSTANCE instance) {
    WNDCLASSEXW view{};
    view.cbSize = sizeof view;
    view.lpfnWndProc = viewWindowProc;
    view.hInstance = instance;
    view.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    view.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    view.lpszClassName = kViewClassName;
    if (!RegisterClassExW(&view) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    WNDCLASSEXW canvas{};
    canvas.cbSize = sizeof canvas;
    canvas.style = CS_DBLCLKS;
    canvas.lpfnWndProc = canvasWindowProc;
    canvas.hInstance = instance;
    canvas.hCursor = LoadCursorW(nullptr, IDC_SIZEALL);
    canvas.lpszClassName = kCanvasClassName;
    if (!RegisterClassExW(&canvas) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    return true;
}

HWND createControl(ViewState* state, const wchar_t* className, const wchar_t* caption, DWORD style, int id) {
    HWND control =
        CreateWindowExW(0, className, caption, style, 0, 0, 100, 30, state->view,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), moduleInstance(), nullptr);
    if (control)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return control;
}

void createChildren(ViewState* state) {
    const DWORD button = WS_CHILD | WS_VISIBLE;
    state->fitButton = createControl(state, L"BUTTON", L"Fit", button, IdFit);
    state->zoomInButton = createControl(state, L"BUTTON", L"+", button, IdZoomIn);
    state->zoomOutButton = createControl(state, L"BUTTON", L"-", button, IdZoomOut);
    state->layersButton = createControl(state, L"BUTTON", L"Layers", button, IdLayers);
    state->themeButton = createControl(state, L"BUTTON", L"Light", button, IdTheme);
    state->svgButton = createControl(state, L"BUTTON", L"SVG...", button, IdSvg);
    state->pages = createControl(state, L"COMBOBOX", L"",
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, IdPages);
    state->status = createControl(state, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE, IdStatus);

    const HWND subclassed[] = {state->fitButton,   state->zoomInButton, state->zoomOutButton,
                               state->themeButton, state->layersButton, state->svgButton,
                               state->pages,       state->status};
    for (HWND control : subclassed)
        if (control)
            SetWindowSubclass(control, controlSubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(state));

    state->canvas = CreateWindowExW(
        0, kCanvasClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 38, 100, 100, state->view,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdCanvas)), moduleInstance(), nullptr);
}

LRESULT onCreate(ViewState* state) {
    createChildren(state);
    state->dark = readDarkSetting();
    updateThemeButton(state);
    layoutView(state);
    loadDocument(state, state->path, false);
    layoutView(state);
    fillPageCombo(state);
    updateStatus(state);
    return 0;
}

LRESULT onCommand(ViewState* state, HWND window, WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IdPages && code == CBN_SELCHANGE) {
        if (!state->core) return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
        const LRESULT selection = SendMessageW(state->pages, CB_GETCURSEL, 0, 0);
        if (selection != CB_ERR) selectPage(state, static_cast<std::size_t>(selection));
        return 0;
    }
    if (code != 0) return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    switch (id) {
        case IdFit:
            if (state->core) {
                state->core->fitToView();
                invalidateCanvas(state);
                updateStatus(state);
            }
            break;
        case IdZoomIn: zoomAt(state, 1.25, -1, -1); break;
        case IdZoomOut: zoomAt(state, 0.8, -1, -1); break;
        case IdTheme:
            state->dark = !state->dark;
            updateThemeButton(state);
            saveDarkSetting(state->dark);
            invalidateCanvas(state);
            break;
        case IdLayers: {
            RECT rect{};
            if (state->layersButton && GetWindowRect(state->layersButton, &rect))
                showContextMenu(state, POINT{rect.left, rect.bottom});
            break;
        }
        case IdSvg: exportSvgDialog(state); break;
        default: break;
    }
    return 0;
}

void onDropFiles(ViewState* state, HDROP drop) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length >= 1 && length <= 32766) {
        std::wstring name(length + 1, L'\0');
        const UINT copied = DragQueryFileW(drop, 0, name.data(), length + 1);
        name.resize(std::min(copied, length));
        loadDocument(state, name, false);
    }
    DragFinish(drop);
}

LRESULT viewMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* params = create ? static_cast<CreationParams*>(create->lpCreateParams) : nullptr;
        if (!params || !params->state) return 0;
        params->state->view = window;
        params->taken = true;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(params->state));
        return TRUE;
    }

    ViewState* state = viewState(window);
    switch (message) {
        case WM_CREATE: return state ? onCreate(state) : -1;
        case WM_SIZE:
            if (state) layoutView(state);
            return 0;
        case WM_SETFOCUS:
            if (state && state->canvas) SetFocus(state->canvas);
            return 0;
        case WM_ERASEBKGND: return state ? 1 : 0;
        case WM_GETDLGCODE:
            if (state && isSharedKey(wParam)) return DLGC_WANTALLKEYS;
            return state ? DefWindowProcW(window, message, wParam, lParam) : 0;
        case WM_KEYDOWN:
            if (state && handleSharedKey(state, wParam, lParam)) return 0;
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_CHAR:
            if (!state || isSharedKey(wParam)) return 0;
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_COMMAND:
            if (!state) return DefWindowProcW(window, message, wParam, lParam);
            return onCommand(state, window, wParam, lParam);
        case WM_DROPFILES:
            if (state) onDropFiles(state, reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_NCDESTROY:
            if (state) {
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                delete state;  // the back buffer first, then the cache, then the document
            }
            return DefWindowProcW(window, message, wParam, lParam);
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

ViewState::~ViewState() {
    backBuffer.release();
    cache.clear();
}

void setModuleInstance(HINSTANCE instance) { gInstance = instance; }

HINSTANCE moduleInstance() {
    if (!gInstance) gInstance = GetModuleHandleW(nullptr);
    return gInstance;
}

ViewState* viewState(HWND view) {
    if (!view) return nullptr;
    wchar_t name[64] = {};
    if (!GetClassNameW(view, name, 64) || std::wstring(name) != kViewClassName) return nullptr;
    return reinterpret_cast<ViewState*>(GetWindowLongPtrW(view, GWLP_USERDATA));
}

bool isViewWindow(HWND window) {
    if (!window || !IsWindow(window)) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return false;
    wchar_t name[64] = {};
    return GetClassNameW(window, name, 64) && std::wstring(name) == kViewClassName;
}

HWND createViewWindow(HWND parent, const std::wstring& path, bool embedded) {
    if (!parent) return nullptr;
    HINSTANCE instance = moduleInstance();
    if (!registerClasses(instance)) return nullptr;
    auto* state = new ViewState;
    state->path = path;
    state->embedded = embedded;

    RECT client{};
    GetClientRect(parent, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    if (width < 2) width = 1;
    if (height < 2) height = 1;

    CreationParams params{state, false};
    HWND view = CreateWindowExW(WS_EX_CONTROLPARENT, kViewClassName, L"Schematic Viewer",
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width,
                                height, parent, nullptr, instance, &params);
    if (!view) {
        // A state the window took is freed by its final destroy message.
        if (!params.taken) delete state;
        return nullptr;
    }
    DragAcceptFiles(view, TRUE);
    return view;
}

bool reloadViewWindow(HWND view, const std::wstring& path) {
    if (!isViewWindow(view)) return false;
    ViewState* state = viewState(view);
    return state && loadDocument(state, path, true);
}

void closeViewWindow(HWND view) {
    if (isViewWindow(view)) DestroyWindow(view);
}

LRESULT CALLBACK viewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Nothing may unwind through USER32's frames.
    try {
        return viewMessage(window, message, wParam, lParam);
    } catch (...) {
        return message == WM_NCCREATE ? FALSE : 0;
    }
}

LRESULT CALLBACK controlSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR refData) {
    try {
        auto* state = reinterpret_cast<ViewState*>(refData);
        switch (message) {
            case WM_GETDLGCODE: {
                const LRESULT code = DefSubclassProc(window, message, wParam, lParam);
                return isSharedKey(wParam) ? (code | DLGC_WANTALLKEYS) : code;
            }
            case WM_KEYDOWN:
                if (handleSharedKey(state, wParam, lParam)) return 0;
                break;
            case WM_CHAR:
                if (isSharedKey(wParam)) return 0;
                break;
            case WM_NCDESTROY: RemoveWindowSubclass(window, controlSubclassProc, id); break;
            default: break;
        }
        return DefSubclassProc(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

bool handleSharedKey(ViewState* state, WPARAM key, LPARAM lParam) {
    if (!state || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
    const bool repeat = (static_cast<ULONG_PTR>(lParam) & 0x40000000u) != 0;
    switch (key) {
        case VK_SPACE:
            if (!repeat) stepDocument(state, +1);
            return true;
        case VK_BACK:
            if (!repeat) stepDocument(state, -1);
            return true;
        case VK_ESCAPE:
            if (state->embedded) {
                // The host's own Escape handling (closing its viewer) must see the key.
                if (HWND parent = GetParent(state->view)) {
                    PostMessageW(parent, WM_KEYDOWN, VK_ESCAPE, lParam);
                    PostMessageW(parent, WM_KEYUP, VK_ESCAPE,
                                 static_cast<LPARAM>(static_cast<ULONG_PTR>(lParam) | 0xC0000000u));
                }
            } else if (HWND root = GetAncestor(state->view, GA_ROOT)) {
                PostMessageW(root, WM_CLOSE, 0, 0);
            }
            return true;
        default: return false;
    }
}

void layoutView(ViewState* state) {
    if (!state || !state->view) return;
    RECT client{};
    GetClientRect(state->view, &client);
    const int w = std::max<int>(client.right - client.left, 1);
    const int h = std::max<int>(client.bottom - client.top, 1);
    auto place = [](HWND control, int x, int y, int width, int height) {
        if (control) MoveWindow(control, x, y, width, height, TRUE);
    };
    place(state->fitButton, 6, 4, 55, 30);
    place(state->zoomInButton, 66, 4, 31, 30);
    place(state->zoomOutButton, 102, 4, 31, 30);
    place(state->layersButton, 138, 4, 71, 30);
    place(state->themeButton, 214, 4, 62, 30);
    place(state->svgButton, 281, 4, 64, 30);
    if (state->core && state->core->pageCount() >= 2)
        place(state->pages, 350, 4, std::clamp(w - 358, 80, 310), 320);
    const int canvasHeight = std::max(h - 61, 1);
    place(state->canvas, 0, 38, w, canvasHeight);
    place(state->status, 0, h - 23, w, 23);
    if (state->core) state->core->setViewportSize(w, canvasHeight);
    invalidateCanvas(state);
}

void fillPageCombo(ViewState* state) {
    if (!state || !state->pages) return;
    SendMessageW(state->pages, CB_RESETCONTENT, 0, 0);
    const std::size_t count = state->core ? state->core->pageCount() : 0;
    if (count >= 2) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::wstring name = utf8ToWide(state->core->pageName(i));
            SendMessageW(state->pages, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        }
        SendMessageW(state->pages, CB_SETCURSEL, static_cast<WPARAM>(state->core->currentPage()), 0);
        ShowWindow(state->pages, SW_SHOW);
    } else {
        ShowWindow(state->pages, SW_HIDE);
    }
}

void updateThemeButton(ViewState* state) {
    if (!state) return;
    if (state->themeButton) SetWindowTextW(state->themeButton, state->dark ? L"Light" : L"Dark");
    if (state->core) state->core->setDark(state->dark);
}

void invalidateCanvas(ViewState* state) {
    if (!state) return;
    state->dirty = true;
    if (state->canvas) InvalidateRect(state->canvas, nullptr, FALSE);
}

std::wstring fileNamePart(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

}  // namespace schematic::win
