// The English twins of the menu and the dialogs carry the same ids, in the
// same order, as their German originals.
#include <gtest/gtest.h>
#include <windows.h>
#include "resources/resource.h"

namespace {

// Every item of a menu and its pop-ups, depth first; separators count as 0.
void AddMenuIds(HMENU menu, std::vector<std::string>* ids)
{
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {   // a null menu counts -1 items
        ids->push_back(GetSubMenu(menu, i) ? "popup" : std::to_string(GetMenuItemID(menu, i)));
        AddMenuIds(GetSubMenu(menu, i), ids);
    }
}

// A menu's items, or a dialog's controls as id and window class, in template order.
std::vector<std::string> Ids(bool isMenu, int resourceId)
{
    std::vector<std::string> ids;
    AddMenuIds(isMenu ? LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(resourceId)) : NULL, &ids);
    HWND dialog = isMenu ? NULL : CreateDialogA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(resourceId), NULL, NULL);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[64] = "";
        GetClassNameA(child, className, sizeof className);
        ids.push_back(std::to_string(GetDlgCtrlID(child)) + " " + className);
    }
    DestroyWindow(dialog);
    return ids;
}

TEST(EnglishTwins, MenuAndDialogsHaveTheGermanIdsInOrder)
{
    const struct { bool isMenu; int german, english; } pairs[] = {
        { true, IDR_MAIN_MENU, IDR_MAIN_MENU_ENGLISH },
        { false, IDD_MAIN, IDD_MAIN_ENGLISH },
        { false, IDD_GENERAL, IDD_GENERAL_ENGLISH },
        { false, IDD_NOTE_PROPS, IDD_NOTE_PROPS_ENGLISH },
        { false, IDD_NOTE_LIST, IDD_NOTE_LIST_ENGLISH },
    };
    for (const auto& pair : pairs) {
        std::vector<std::string> german = Ids(pair.isMenu, pair.german);
        ASSERT_FALSE(german.empty()) << "resource " << pair.german;
        EXPECT_EQ(Ids(pair.isMenu, pair.english), german) << "twin of resource " << pair.german;
    }
}

}  // namespace
