// Helpers of the Windows test programs: temporary folders and files, a parent window that
// records what reaches it, message pumping, closing modal windows from a timer, reading
// pixels back and writing them as PNG.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace wintest {

inline void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

inline std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

inline std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

// A fresh folder under the temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, base);
        static unsigned counter = 0;
        path_ = std::filesystem::path(base) /
                (L"kgwin-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) +
                 L"-" + std::to_wstring(++counter));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    std::wstring write(const std::wstring& name, const std::string& bytes) const {
        const std::filesystem::path file = path_ / name;
        std::ofstream out(file, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file.wstring();
    }
    std::wstring write(const std::wstring& name, const std::vector<std::uint8_t>& bytes) const {
        return write(name, std::string(bytes.begin(), bytes.end()));
    }

private:
    std::filesystem::path path_;
};

// A P-CAD ASCII schematic with one sheet per name; each sheet holds a frame of lines, a wire,
// a junction and a text, so that it paints visibly.
inline std::string pcadAscii(const std::vector<std::string>& sheets, double width = 200,
                             double height = 150) {
    std::string out = "ACCEL_ASCII \"test.sch\"\n(schematicDesign \"d\"\n  (schDesignHeader (workspaceSize " +
                      std::to_string(width) + " " + std::to_string(height) + "))\n";
    for (const std::string& name : sheets) {
        out += "  (sheet \"" + name + "\"\n";
        out += "    (line (pt 10 10) (pt 190 10) (width 0.5)) (line (pt 190 10) (pt 190 140) (width 0.5))\n";
        out += "    (line (pt 190 140) (pt 10 140) (width 0.5)) (line (pt 10 140) (pt 10 10) (width 0.5))\n";
        out += "    (wire (line (pt 30 70) (pt 170 70) (width 0.5)))\n";
        out += "    (junction (pt 100 70))\n";
        out += "    (text (pt 40 100) \"" + name + "\")\n";
        out += "  )\n";
    }
    return out + ")\n";
}

// A top-level window of a given client size that records the keys and close requests it gets
// (a close request does not destroy it).
class ParentWindow {
public:
    struct Key {
        UINT message;
        WPARAM key;
        LPARAM lParam;
    };

    explicit ParentWindow(int clientWidth, int clientHeight, const wchar_t* title = L"Test parent") {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KgTestParent";
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        RegisterClassExW(&wc);
        RECT rect{0, 0, clientWidth, clientHeight};
        AdjustWindowRectEx(&rect, WS_POPUP, FALSE, 0);
        hwnd_ = CreateWindowExW(0, L"KgTestParent", title, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                GetModuleHandleW(nullptr), this);
        pump();
    }
    ~ParentWindow() {
        if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
        pump();
    }
    ParentWindow(const ParentWindow&) = delete;
    ParentWindow& operator=(const ParentWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    std::vector<Key> keys;
    int closeRequests = 0;

private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<ParentWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && (message == WM_KEYDOWN || message == WM_KEYUP)) {
            self->keys.push_back({message, wParam, lParam});
            return 0;
        }
        if (self && message == WM_CLOSE) {
            ++self->closeRequests;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
};

inline std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

inline std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// The rectangle of a child in its parent's client coordinates.
inline RECT childRect(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Closes the modal windows a step opens (message boxes, dialogs, menus) from a timer of the
// calling thread, recording each dialog's caption and text.
class ModalCloser {
public:
    struct Seen {
        std::wstring caption;
        std::wstring text;
    };

    ModalCloser() {
        active_ = this;
        timer_ = SetTimer(nullptr, 0, 100, tick);
    }
    ~ModalCloser() {
        KillTimer(nullptr, timer_);
        active_ = nullptr;
    }
    ModalCloser(const ModalCloser&) = delete;
    ModalCloser& operator=(const ModalCloser&) = delete;

    std::vector<Seen> seen;
    int menusEnded = 0;

private:
    static BOOL CALLBACK visit(HWND window, LPARAM) {
        if (!active_ || !IsWindowVisible(window)) return TRUE;
        if (className(window) == L"#32770") {
            Seen entry{windowText(window), {}};
            // The message box's text is its static control 0xFFFF.
            if (HWND text = GetDlgItem(window, 0xFFFF)) entry.text = windowText(text);
            active_->seen.push_back(entry);
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        } else if (className(window) == L"#32768") {
            ++active_->menusEnded;
            EndMenu();
        }
        return TRUE;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), visit, 0);
    }

    static inline ModalCloser* active_ = nullptr;
    UINT_PTR timer_ = 0;
};

// 32-bit top-down BGRA pixels of a device context's bitmap region.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> data;  // 0x00RRGGBB

    std::uint32_t at(int x, int y) const { return data[static_cast<std::size_t>(y) * width + x]; }
    std::size_t distinctColours() const {
        std::vector<std::uint32_t> sorted(data);
        std::sort(sorted.begin(), sorted.end());
        return static_cast<std::size_t>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
    }
    std::size_t countNot(std::uint32_t colour) const {
        return static_cast<std::size_t>(
            std::count_if(data.begin(), data.end(), [&](std::uint32_t p) { return p != colour; }));
    }
};

// Copies a region of `dc` (a window, screen or memory context) into pixels.
inline Pixels readPixels(HDC dc, int x, int y, int width, int height) {
    Pixels pixels;
    if (width <= 0 || height <= 0) return pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, dc, x, y, SRCCOPY);
    GdiFlush();
    pixels.width = width;
    pixels.height = height;
    const auto* source = static_cast<const std::uint32_t*>(bits);
    pixels.data.assign(source, source + static_cast<std::size_t>(width) * height);
    for (auto& p : pixels.data) p &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}

// An uncompressed PNG (stored deflate blocks): enough for screenshots without a library.
inline bool writePng(const std::filesystem::path& file, const Pixels& pixels) {
    auto crc32 = [](const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0xFFFFFFFFu) {
        for (std::size_t i = 0; i < n; ++i) {
            crc ^= data[i];
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return crc;
    };
    auto put32 = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(pixels.height) * (pixels.width * 3 + 1));
    for (int y = 0; y < pixels.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t p = pixels.at(x, y);
            raw.push_back(static_cast<std::uint8_t>(p >> 16));
            raw.push_back(static_cast<std::uint8_t>(p >> 8));
            raw.push_back(static_cast<std::uint8_t>(p));
        }
    }
    std::vector<std::uint8_t> z{0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t offset = 0; offset < raw.size() || offset == 0; offset += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - offset);
        z.push_back(offset + n >= raw.size() ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(offset),
                 raw.begin() + static_cast<std::ptrdiff_t>(offset + n));
        if (raw.empty()) break;
    }
    put32(z, (b << 16) | a);

    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&](const char* type, const std::vector<std::uint8_t>& body) {
        put32(png, static_cast<std::uint32_t>(body.size()));
        std::vector<std::uint8_t> typed(type, type + 4);
        typed.insert(typed.end(), body.begin(), body.end());
        png.insert(png.end(), typed.begin(), typed.end());
        put32(png, crc32(typed.data(), typed.size()) ^ 0xFFFFFFFFu);
    };
    std::vector<std::uint8_t> header;
    put32(header, static_cast<std::uint32_t>(pixels.width));
    put32(header, static_cast<std::uint32_t>(pixels.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    chunk("IHDR", header);
    chunk("IDAT", z);
    chunk("IEND", {});
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}

inline std::filesystem::path testdata(const char* relative) {
    return std::filesystem::path(widen(KG_TESTDATA)) / widen(relative);
}

}  // namespace wintest
