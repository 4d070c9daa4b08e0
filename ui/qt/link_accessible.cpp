#include "ui/qt/link_accessible.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QPointer>
#include <QTextCursor>
#include <QTextDocument>
#include <mutex>
#include <vector>

#include "ui/qt/qt_rich_text_control.h"

namespace pradex {

namespace {

// One link of the list, by its index; it stays valid as long as the list has that many links.
class LinkAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  LinkAccessible(QtRichTextControl* list, int index) : list(list), index(index) {}

  bool isValid() const override {
    return !list.isNull() && index < static_cast<int>(list->LinkRanges().size());
  }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override {
    return list.isNull() ? nullptr : list->window()->windowHandle();
  }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override {
    return list.isNull() ? nullptr : QAccessible::queryAccessibleInterface(list.data());
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }

  // The name is the printer's; the description what its device said about itself.
  QString text(QAccessible::Text t) const override {
    if (!isValid()) return {};
    if (t == QAccessible::Name) return list->RangeText(Range());
    return t == QAccessible::Description ? list->LinkFactsText(index) : QString();
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    if (!isValid()) return {};
    const TextRange range = Range();
    QTextCursor cursor(list->document());
    cursor.setPosition(static_cast<int>(range.start));
    QRect area = list->cursorRect(cursor);
    cursor.setPosition(static_cast<int>(range.end));
    area = area.united(list->cursorRect(cursor));
    return QRect(list->viewport()->mapToGlobal(area.topLeft()), area.size());
  }
  QAccessible::Role role() const override { return QAccessible::Link; }
  QAccessible::State state() const override {
    QAccessible::State state;
    if (!isValid()) {
      state.invalid = true;
      return state;
    }
    state.focusable = true;
    state.linked = true;
    state.readOnly = true;
    state.focused = list->hasFocus() && list->FocusedLink() == index;
    return state;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                : nullptr;
  }

  // QAccessibleActionInterface.
  QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
  void doAction(const QString& name) override {
    if (!isValid()) return;
    if (name == pressAction()) {
      list->ActivateLink(index);
    } else if (name == setFocusAction()) {
      list->setFocus(Qt::OtherFocusReason);
      list->FocusLink(index);
    }
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  TextRange Range() const { return list->LinkRanges()[static_cast<std::size_t>(index)]; }

  QPointer<QtRichTextControl> list;
  int index;
};

// The list itself: its name is the status text above the links.
class LinkListAccessible : public QAccessibleWidget {
 public:
  explicit LinkListAccessible(QtRichTextControl* list)
      : QAccessibleWidget(list, QAccessible::List) {}
  ~LinkListAccessible() override {
    for (const QAccessible::Id id : children) QAccessible::deleteAccessibleInterface(id);
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && List()->accessibleName().isEmpty()) return List()->StatusText();
    return QAccessibleWidget::text(t);
  }
  int childCount() const override { return static_cast<int>(List()->LinkRanges().size()); }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    // One interface per index for the life of the list: screen readers keep what they got.
    while (static_cast<int>(children.size()) <= index) {
      auto* link = new LinkAccessible(List(), static_cast<int>(children.size()));
      children.push_back(QAccessible::registerAccessibleInterface(link));
    }
    return QAccessible::accessibleInterface(children[static_cast<std::size_t>(index)]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (QAccessible::accessibleInterface(children[i]) == child) {
        return static_cast<int>(i) < childCount() ? static_cast<int>(i) : -1;
      }
    }
    return -1;
  }
  QAccessibleInterface* focusChild() const override {
    if (!List()->hasFocus()) return nullptr;
    const int focused = List()->FocusedLink();
    return focused < 0 ? nullptr : child(focused);
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    for (int i = 0; i < childCount(); ++i) {
      QAccessibleInterface* link = child(i);
      if (link->rect().contains(x, y)) return link;
    }
    return nullptr;
  }

 private:
  QtRichTextControl* List() const { return static_cast<QtRichTextControl*>(widget()); }

  mutable std::vector<QAccessible::Id> children;
};

QAccessibleInterface* MakeInterface(const QString&, QObject* object) {
  if (auto* list = qobject_cast<QtRichTextControl*>(object)) return new LinkListAccessible(list);
  return nullptr;
}

}  // namespace

void InstallLinkAccessibility() {
  static std::once_flag installed;
  std::call_once(installed, [] { QAccessible::installFactory(MakeInterface); });
}

}  // namespace pradex
