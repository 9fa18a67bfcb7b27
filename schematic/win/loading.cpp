// Opening a file into the view, and stepping to the next or previous file of its folder.
#include "schematic/siblings.h"
#include "schematic/win/view_state.h"

#include <algorithm>
#include <exception>
#include <filesystem>

namespace schematic::win {

bool loadDocument(ViewState* state, const std::wstring& path, bool quiet) {
    if (!state || path.empty()) return false;
    try {
        auto core = std::make_unique<ViewerCore>(wideToUtf8(path));
        int width = 1, height = 1;
        RECT client{};
        if (state->canvas && GetClientRect(state->canvas, &client)) {
            width = std::max<int>(client.right - client.left, 1);
            height = std::max<int>(client.bottom - client.top, 1);
        }
        core->setViewportSize(width, height);
        core->setDark(state->dark);
        core->fitToView();
        state->core = std::move(core);
        state->message.clear();
        state->path = path;
    } catch (const std::exception& error) {
        if (quiet) return false;
        state->core.reset();
        state->message = L"Unable to read schematic: " + utf8ToWide(error.what());
        state->path = path;
    } catch (...) {
        if (quiet) return false;
        state->core.reset();
        state->message = L"Failed to decode schematic";
        state->path = path;
    }

    fillPageCombo(state);
    layoutView(state);
    updateStatus(state);
    if (!state->embedded && state->view)
        if (HWND root = GetAncestor(state->view, GA_ROOT))
            SetWindowTextW(root, (L"Kestrelgraph - " + fileNamePart(path)).c_str());
    invalidateCanvas(state);
    return state->core != nullptr;
}

void stepDocument(ViewState* state, int direction) {
    if (!state || state->path.empty()) return;
    const std::filesystem::path current(state->path);
    for (const std::filesystem::path& candidate : siblingFiles(current, direction)) {
        if (loadDocument(state, candidate.wstring(), true)) {
            if (state->canvas) SetFocus(state->canvas);
            return;
        }
    }
}

}  // namespace schematic::win
