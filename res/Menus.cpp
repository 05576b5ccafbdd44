#include "res/Menus.h"

namespace torv::res {

namespace {

constexpr MenuItemTemplate kSiteListItems[] = {
    {ID_SITE_ADD, "Add Site"},
    {ID_SITE_INSERT, "Insert Site\tINS"},
    {ID_SITE_DELETE, "Delete Site\tDEL"},
    {0, nullptr},
    {ID_SITE_MOVEUP, "Move Site Up\t-"},
    {ID_SITE_MOVEDOWN, "Move Site Down\t+"},
    {0, nullptr},
    {ID_SITE_REVALIDATE, "Re-Validate Site"},
    {ID_SITE_REVALIDATEALL, "Re-Validate All Sites"},
    {ID_SITE_DELETEINVALID, "Delete Invalid Sites"},
    {ID_SITE_AUTOORDER, "Auto-Order Sites"},
};

constexpr MenuTemplate kMenus[] = {
    {IDR_SITELIST_MENU, "SITELIST_CONTEXT", kSiteListItems},
};

}  // namespace

const MenuTemplate* FindMenu(int id) {
    for (const MenuTemplate& menu : kMenus) {
        if (menu.id == id) {
            return &menu;
        }
    }
    return nullptr;
}

}  // namespace torv::res
