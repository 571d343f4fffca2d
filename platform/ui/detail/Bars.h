// What the bar controls share: their state lives in the window record, and the bars that align
// themselves to their parent do it the same way. Each bar control has its own file.
#pragma once

#include "platform/ui/detail/Core.h"

#include <memory>

namespace taluvo::ui::detail {

// The control state a bar keeps in its window record, null when the window is gone.
template <class State> std::shared_ptr<State> StateOf(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? std::static_pointer_cast<State>(record->controlState) : nullptr;
}

// Bars that align themselves to their parent (CCS_TOP / CCS_BOTTOM) do it when they get WM_SIZE,
// as the Windows controls do; the frame sends it before it lays itself out.
void AlignToParent(HWND hwnd, int height, bool bottom);

void RegisterToolBarClass();
void RegisterStatusBarClass();
void RegisterRebarClass();
void RegisterCommandBarClass();

} // namespace taluvo::ui::detail
