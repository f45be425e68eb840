// The main menu as data: submenus, items bound to actions, check items and
// radio items (exclusive within their submenu, carrying the index of the
// list item they stand for).
#pragma once

#include <string>
#include <vector>

namespace lumatrace {

struct MenuNode {
    enum class Kind { Submenu, Action, Item, Separator };
    Kind kind = Kind::Item;
    std::string name;        // object name (the action's name for Kind::Action)
    std::string caption;     // with its accelerator
    std::string shortcut;    // portable key sequence text
    bool checkable = false;  // toggles its own check mark when clicked
    bool radio = false;      // exclusive within its submenu
    int tag = -1;            // list index of a radio item
    bool hidden = false;
    std::vector<MenuNode> children;
};

// Top-level submenus of MainMenu1, in order.
const std::vector<MenuNode>& MainMenuLayout();

// The node with that object name, or nullptr.
const MenuNode* FindMenuNode(const std::string& name);

// Object names of the radio items of the list-mirroring menus, built the
// same way the layout builds them (M_Td_1ns, M_Math_500mV, M_FVs_3, ...).
std::string TimeDivMenuName(int index);
std::string MathScaleMenuName(int index);
std::string NumberMenuName(int index);

}  // namespace lumatrace
