// The one stored setting (the theme), the status line and the SVG save dialog.
#include "schematic/win/view_state.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

namespace schematic::win {

std::wstring settingsPath() {
    std::vector<wchar_t> value(32767, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", value.data(), 32767);
    if (length == 0 || length >= 32767) return {};
    std::wstring folder(value.data(), length);
    folder += L"\\Kestrelgraph";
    // Formed each time; an existing folder is no error.
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\settings.ini";
}

bool readDarkSetting() {
    const std::wstring path = settingsPath();
    if (path.empty()) return true;
    return GetPrivateProfileIntW(L"Viewer", L"Dark", 1, path.c_str()) != 0;
}

void saveDarkSetting(bool dark) {
    const std::wstring path = settingsPath();
    if (!path.empty()) WritePrivateProfileStringW(L"Viewer", L"Dark", dark ? L"1" : L"0", path.c_str());
}

std::wstring statusLineText(const ViewState* state) {
    if (!state) return {};
    if (!state->core) return state->message.empty() ? std::wstring(L"No document loaded") : state->message;
    char scale[64];
    std::snprintf(scale, sizeof scale, "%.2f", state->core->scale());
    return fileNamePart(state->path) + L"    |    " + utf8ToWide(state->core->statusText()) + L"    |    " +
           utf8ToWide(scale) + L" px/unit";
}

void updateStatus(ViewState* state) {
    if (state && state->status) SetWindowTextW(state->status, statusLineText(state).c_str());
}

std::wstring defaultSvgName(const std::wstring& path) {
    std::wstring name = path;
    const std::size_t separator = name.find_last_of(L"\\/");
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && (separator == std::wstring::npos || dot > separator)) name.resize(dot);
    return name + L".svg";
}

std::optional<std::wstring> exportSvgTo(ViewState* state, const std::wstring& file) {
    if (!state || !state->core) return std::nullopt;
    try {
        state->core->exportSvg(wideToUtf8(file));
        return std::nullopt;
    } catch (const std::exception& error) {
        return utf8ToWide(error.what());
    } catch (...) {
        return L"Failed to write SVG file";
    }
}

void exportSvgDialog(ViewState* state) {
    if (!state || !state->core) return;
    std::vector<wchar_t> buffer(32768, L'\0');
    const std::wstring proposed = defaultSvgName(state->path);
    proposed.copy(buffer.data(), std::min<std::size_t>(proposed.size(), 32767));

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = state->view;
    dialog.lpstrFilter = L"SVG image (*.svg)\0*.svg\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = 32768;
    dialog.lpstrDefExt = L"svg";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    HWND view = state->view;
    // The dialog's modal loop may have seen the view destroyed (and its state freed).
    if (!GetSaveFileNameW(&dialog) || viewState(view) != state) return;
    if (const auto error = exportSvgTo(state, std::wstring(buffer.data())))
        MessageBoxW(state->view, error->c_str(), L"SVG export failed", MB_ICONERROR);
}

}  // namespace schematic::win
