// Text across the Windows boundary: every model speaks UTF-8, Windows speaks UTF-16.
#include "schematic/win/view.h"

#include <climits>
#include <cstring>

namespace schematic::win {

std::string wideToUtf8(const std::wstring& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    const int written =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
    if (written <= 0) return {};
    out.resize(static_cast<std::size_t>(written));
    return out;
}

namespace {

std::wstring toWide(UINT codePage, const char* data, std::size_t size, const wchar_t* onFailure) {
    if (size == 0) return {};
    if (size > static_cast<std::size_t>(INT_MAX)) return onFailure;
    const int length = static_cast<int>(size);
    const int needed = MultiByteToWideChar(codePage, 0, data, length, nullptr, 0);
    if (needed <= 0) return onFailure;
    std::wstring out(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(codePage, 0, data, length, out.data(), needed);
    if (written <= 0) return onFailure;
    out.resize(static_cast<std::size_t>(written));
    return out;
}

}  // namespace

std::wstring utf8ToWide(const std::string& text) { return toWide(CP_UTF8, text.data(), text.size(), L"?"); }

std::wstring ansiToWide(const char* text) {
    if (!text) return {};
    return toWide(CP_ACP, text, std::strlen(text), L"");
}

}  // namespace schematic::win
