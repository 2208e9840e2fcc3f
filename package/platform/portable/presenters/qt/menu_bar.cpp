// Qt presenter: mirroring a menu model onto a QMenuBar.
#include "menu_bar.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>

#include "../../presenter_kit/code_page.h"

namespace portable {
namespace {

constexpr UINT state_flags = MF_CHECKED | MF_GRAYED | MF_DISABLED;

bool is_popup(const MenuModelItem& item) {
    return item.flags & MF_POPUP;
}
bool is_separator(const MenuModelItem& item) {
    return item.flags & MF_SEPARATOR;
}
bool is_enabled(const MenuModelItem& item) {
    return !(item.flags & (MF_GRAYED | MF_DISABLED));
}
bool is_checked(const MenuModelItem& item) {
    return item.flags & MF_CHECKED;
}

const MenuModelItem* find_item(const std::vector<MenuModelItem>& items, size_t& index) {
    for (const MenuModelItem& item : items) {
        if (index == 0) return &item;
        --index;
        if (const MenuModelItem* found = find_item(item.items, index)) return found;
    }
    return nullptr;
}

// A checkable action reserves room for a box in some styles even when clear, so an
// action is checkable only while it carries a mark, as Windows draws nothing otherwise.
void show_check(QAction* action, bool checked) {
    QSignalBlocker block(action);
    action->setCheckable(checked);
    action->setChecked(checked);
}

}  // namespace

bool same_structure(const std::vector<MenuModelItem>& a, const std::vector<MenuModelItem>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if ((a[i].flags & ~state_flags) != (b[i].flags & ~state_flags)) return false;
        if (a[i].id != b[i].id || a[i].text != b[i].text) return false;
        if (!same_structure(a[i].items, b[i].items)) return false;
    }
    return true;
}

MenuBarMirror::MenuBarMirror(QMenuBar* bar, std::function<void(UINT_PTR)> on_command)
    : bar_(bar), on_command_(std::move(on_command)) {}

void MenuBarMirror::update(const MenuModel& model) {
    const bool same = same_structure(model, shown_) && !actions_.empty();
    shown_ = model;
    if (!same) return rebuild();
    size_t next_action = 0;
    apply_states(shown_, next_action);
}

void MenuBarMirror::rebuild() {
    if (!bar_) return;
    actions_.clear();
    bar_->clear();
    fill(bar_.data(), shown_);
}

template <typename Container>
void MenuBarMirror::fill(Container* container, const std::vector<MenuModelItem>& items) {
    for (const MenuModelItem& item : items) {
        if (is_popup(item)) {
            QMenu* sub = container->addMenu(QString::fromStdString(utf8_of_cp1252(item.text)));
            actions_.push_back(sub->menuAction());
            sub->menuAction()->setEnabled(is_enabled(item));
            fill(sub, item.items);
        } else if (is_separator(item)) {
            actions_.push_back(container->addSeparator());
        } else {
            container->addAction(make_action(container, item));
        }
    }
}

QAction* MenuBarMirror::make_action(QWidget* parent, const MenuModelItem& item) {
    auto* action = new QAction(QString::fromStdString(utf8_of_cp1252(item.text)), parent);
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setEnabled(is_enabled(item));
    show_check(action, is_checked(item));
    const size_t index = actions_.size();
    actions_.push_back(action);
    QObject::connect(action, &QAction::triggered, action, [this, action, index] {
        // Qt flipped the mark of a checked action: put back what the model says.
        if (const MenuModelItem* model_item = item_at(index)) {
            show_check(action, is_checked(*model_item));
            on_command_(model_item->id);
        }
    });
    return action;
}

const MenuModelItem* MenuBarMirror::item_at(size_t index) const {
    return find_item(shown_, index);
}

void MenuBarMirror::apply_states(const std::vector<MenuModelItem>& items, size_t& next_action) {
    for (const MenuModelItem& item : items) {
        if (next_action >= actions_.size()) return;
        QAction* action = actions_[next_action++];
        if (action != nullptr && !is_separator(item)) {
            action->setEnabled(is_enabled(item));
            if (!is_popup(item)) show_check(action, is_checked(item));
        }
        if (is_popup(item)) apply_states(item.items, next_action);
    }
}

}  // namespace portable
