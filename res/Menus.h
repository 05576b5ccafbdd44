// Menu resources as data: the popup title and the items in order. The site list builds its
// context menu from menu 133.
#pragma once

#include <span>

namespace torv::res {

enum MenuId { IDR_SITELIST_MENU = 133 };

enum MenuCommandId {
    ID_SITE_ADD = 32772,
    ID_SITE_EDIT = 32773,  // not in the resource: the list inserts it at run time
    ID_SITE_INSERT = 32774,
    ID_SITE_DELETE = 32775,
    ID_SITE_MOVEUP = 32777,
    ID_SITE_MOVEDOWN = 32778,
    ID_SITE_REVALIDATE = 32779,
    ID_SITE_REVALIDATEALL = 32780,
    ID_SITE_DELETEINVALID = 32781,
    ID_SITE_AUTOORDER = 32782,
};

struct MenuItemTemplate {
    int id;            // 0 for a separator
    const char* text;  // a tab separates the shortcut hint; null for a separator
};

struct MenuTemplate {
    int id;
    const char* popupTitle;
    std::span<const MenuItemTemplate> items;
};

// Null for an id that no menu has.
const MenuTemplate* FindMenu(int id);

}  // namespace torv::res
