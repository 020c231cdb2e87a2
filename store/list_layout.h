// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>

// The main page's remote device list as the database file keeps it: the columns' display order
// and widths, and the sort state. It lives here rather than in the page so that the command line
// and the GUI read and write the same record.
namespace corvel {

inline constexpr int kListColumns = 5;

struct ListLayout {
    // For each display position, the creation number of the column shown there, as the list
    // control reports it.
    int32_t order[kListColumns];
    // Width in pixels of each column, by creation number.
    int32_t widths[kListColumns];
    int32_t sortFlag;    // direction of the sort
    int32_t sortColumn;  // creation number of the column the list is sorted by
};

// The list as the main page creates it: every column is inserted at display position 1, so the
// columns show as Device Name, Password, Quality, Rate (Mbps), MAC Address; sorted by column 1.
ListLayout defaultListLayout();

// The layout in force: loaded from and saved to the database file.
ListLayout& listLayout();

// Set by a front end that shows the list. The database save asks `readFromList` for the current
// order and widths; a load hands what it restored to `applyToList`. Both do nothing unset.
struct ListLayoutHooks {
    std::function<void(ListLayout& layout)> readFromList;
    std::function<void(const ListLayout& layout)> applyToList;
};

ListLayoutHooks& listLayoutHooks();

}  // namespace corvel
