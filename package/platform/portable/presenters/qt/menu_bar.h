// Qt presenter: a window's menu mirrored onto a QMenuBar.
//
// The menu stays USER's data; the presenter copies it into a MenuModel and this
// class shows it: pull-down titles and items keep their "&" access letters, the
// text after a tab is drawn right-aligned as the item's shortcut text (no Qt
// shortcut is registered: the package tracks Ctrl from key messages itself),
// separators, grayed items and check marks. Choosing an item hands its id to a
// callback, which posts WM_COMMAND. Check marks change only through the model.
#pragma once

#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "../../win32_portable.h"

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace portable {

// One menu item as appended with AppendMenuA.
struct MenuModelItem {
    UINT flags = 0;                    // MF_* flags (MF_POPUP, MF_SEPARATOR, MF_GRAYED, MF_CHECKED)
    UINT_PTR id = 0;                   // command id; unused for popups and separators
    std::string text;                  // label with "&" and "\t", as appended
    std::vector<MenuModelItem> items;  // the pull-down's items when MF_POPUP is set
};

// A menu bar: its pull-down menus (and any plain items) from left to right.
using MenuModel = std::vector<MenuModelItem>;

class MenuBarMirror {
public:
    MenuBarMirror(QMenuBar* bar, std::function<void(UINT_PTR)> on_command);

    // Shows `model`. When only check marks or grayed states changed, the existing
    // actions are updated in place, so an open pull-down stays open.
    void update(const MenuModel& model);

    const MenuModel& shown() const { return shown_; }

private:
    void rebuild();
    // Adds the items to a menu bar or a pull-down menu (both take the same calls).
    template <typename Container>
    void fill(Container* container, const std::vector<MenuModelItem>& items);
    QAction* make_action(QWidget* parent, const MenuModelItem& item);
    void apply_states(const std::vector<MenuModelItem>& items, size_t& next_action);
    // The model item behind actions_[index], walking the model in the same order.
    const MenuModelItem* item_at(size_t index) const;

    QPointer<QMenuBar> bar_;
    std::function<void(UINT_PTR)> on_command_;
    MenuModel shown_;
    // One action per model item (popups and separators included), in model order.
    std::vector<QPointer<QAction>> actions_;
};

// True when the two menus have the same items in the same order, ignoring check
// marks and grayed states.
bool same_structure(const std::vector<MenuModelItem>& a, const std::vector<MenuModelItem>& b);

}  // namespace portable
