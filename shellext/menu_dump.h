#pragma once
// A menu as text, one item a line, indented by submenu depth: the text as
// the menu shows it, then the verb of the item's kind in brackets and its
// states. Separators are "----". For qvshell --menu and the tests.

#include <string>

#include "shellext/menu_model.h"

namespace shellext {

std::string DumpMenu(const Menu& menu);

}  // namespace shellext
