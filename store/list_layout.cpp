// SPDX-License-Identifier: MIT
#include "store/list_layout.h"

#include "platform/process_state.h"

namespace corvel {

ListLayout defaultListLayout() {
    return ListLayout{
        .order = {0, 4, 3, 2, 1},
        .widths = {120, 120, 70, 110, 140},
        .sortFlag = 1,
        .sortColumn = 1,
    };
}

ListLayout& listLayout() {
    static ListLayout layout = defaultListLayout();
    return layout;
}

ListLayoutHooks& listLayoutHooks() {
    static ListLayoutHooks hooks;
    return hooks;
}

namespace {
const RegisteredReset listLayoutReset{[] {
    listLayout() = defaultListLayout();
    listLayoutHooks() = {};
}};
}  // namespace

}  // namespace corvel
