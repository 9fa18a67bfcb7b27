// The standalone program: opens the file named on its command line in a top-level window that
// holds the viewer, and runs until that window is closed.
#include "schematic/win/view.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>

namespace {

constexpr wchar_t kHostClassName[] = L"Kestrelgraph.Standalone.Host";

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
            case WM_SIZE:
                if (HWND view = GetWindow(window, GW_CHILD))
                    MoveWindow(view, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
                return 0;
            case WM_DESTROY: PostQuitMessage(0); return 0;
            default: return DefWindowProcW(window, message, wParam, lParam);
        }
    } catch (...) {
        return 0;
    }
}

// The first argument after the program's name; further ones are ignored.
std::wstring pathFromCommandLine() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return {};
    std::wstring path = count >= 2 ? std::wstring(arguments[1]) : std::wstring();
    LocalFree(arguments);
    return path;
}

int run(HINSTANCE instance, int showCommand) {
    const std::wstring path = pathFromCommandLine();
    schematic::win::setModuleInstance(instance);

    WNDCLASSEXW host{};
    host.cbSize = sizeof host;
    host.lpfnWndProc = hostWindowProc;
    host.hInstance = instance;
    host.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    host.lpszClassName = kHostClassName;
    if (!RegisterClassExW(&host)) return 2;

    HWND window = CreateWindowExW(0, kHostClassName, L"Schematic Viewer - P-CAD / Altium / Mentor",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 1300,
                                  850, nullptr, nullptr, instance, nullptr);
    if (!window) return 3;

    HWND view = schematic::win::createViewWindow(window, path, false);
    if (!view) {
        DestroyWindow(window);
        return 4;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The view and its controls ask the dialog manager for Space, Backspace and Escape.
        if (!IsDialogMessageW(view, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    try {
        return run(instance, showCommand);
    } catch (...) {
        return 1;
    }
}
