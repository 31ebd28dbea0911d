// The English twins of the menu and the dialogs carry the same ids, in the
// same order, as their German originals.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "resources/resource.h"

namespace {

// Every item of a menu and its pop-ups, depth first; separators count as 0.
void CollectMenuIds(HMENU menu, std::vector<std::string>* ids)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        HMENU popup = GetSubMenu(menu, i);
        ids->push_back(popup ? "popup" : std::to_string(GetMenuItemID(menu, i)));
        if (popup) CollectMenuIds(popup, ids);
    }
}

std::vector<std::string> MenuIds(int resourceId)
{
    std::vector<std::string> ids;
    HMENU menu = LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(resourceId));
    if (!menu) return ids;
    CollectMenuIds(menu, &ids);
    DestroyMenu(menu);
    return ids;
}

INT_PTR CALLBACK SilentDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Each control's id and window class, in template order.
std::vector<std::string> DialogIds(int resourceId)
{
    std::vector<std::string> ids;
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(resourceId), NULL,
                                     SilentDialogProc, 0);
    if (!dialog) return ids;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[64] = "";
        GetClassNameA(child, className, sizeof className);
        ids.push_back(std::to_string(GetDlgCtrlID(child)) + " " + className);
    }
    DestroyWindow(dialog);
    return ids;
}

TEST(EnglishTwins, MenuHasTheGermanIdsInOrder)
{
    std::vector<std::string> german = MenuIds(IDR_MAIN_MENU);
    ASSERT_EQ(german.size(), 3u + 15 + 12 + 9);
    EXPECT_EQ(MenuIds(IDR_MAIN_MENU_ENGLISH), german);
}

TEST(EnglishTwins, DialogsHaveTheGermanControlsInOrder)
{
    const struct { int german, english; } pairs[] = {
        {IDD_MAIN, IDD_MAIN_ENGLISH},
        {IDD_GENERAL, IDD_GENERAL_ENGLISH},
        {IDD_NOTE_PROPS, IDD_NOTE_PROPS_ENGLISH},
        {IDD_NOTE_LIST, IDD_NOTE_LIST_ENGLISH},
    };
    for (const auto& pair : pairs) {
        std::vector<std::string> german = DialogIds(pair.german);
        ASSERT_FALSE(german.empty()) << "dialog " << pair.german;
        EXPECT_EQ(DialogIds(pair.english), german) << "twin of dialog " << pair.german;
    }
}

}  // namespace
