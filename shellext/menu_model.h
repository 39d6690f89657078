#pragma once
// The menu a context-menu handler fills: items by position, each with a
// command id, a text, grayed and checked states, a separator type or a
// submenu it owns. It stands for the Windows menu handle; the host makes the
// top menu and owns it. The item's data carries the extension's entry kind so
// that a host can find an item by a name that does not depend on the
// language of its text (shellext/verbs.h).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace shellext {

struct Menu;

struct MenuItem {
    uint32_t id = 0;
    std::u16string text;
    bool separator = false;
    bool grayed = false;
    bool checked = false;
    bool hasBitmap = false;
    uint32_t data = 0;
    std::unique_ptr<Menu> submenu;
};

struct Menu {
    std::vector<MenuItem> items;

    size_t Count() const { return items.size(); }
    // Inserts before position; a position past the end appends. Returns the
    // position used.
    size_t Insert(size_t position, MenuItem item) {
        if (position > items.size()) position = items.size();
        items.insert(items.begin() + std::ptrdiff_t(position), std::move(item));
        return position;
    }
    MenuItem* At(size_t position) { return position < items.size() ? &items[position] : nullptr; }
    const MenuItem* At(size_t position) const { return position < items.size() ? &items[position] : nullptr; }
};

}  // namespace shellext
