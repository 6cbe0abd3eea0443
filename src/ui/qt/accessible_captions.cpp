#include "ui/qt/accessible_captions.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStyle>
#include <QWidget>
#include <QWindow>

namespace orvex {

namespace {

// Set on the actions whose accessible item this file provides.
constexpr const char* kCaptionProperty = "orvexReadsCaption";
// Set on widgets whose name came from the form's design.
constexpr const char* kDesignedNameProperty = "orvexDesignedName";

// The menu or menu bar that shows the action.
QWidget* OwnerOf(QAction* action) {
  for (QObject* o : action->associatedObjects())
    if (qobject_cast<QMenu*>(o) || qobject_cast<QMenuBar*>(o)) return static_cast<QWidget*>(o);
  return nullptr;
}

// A menu item as Qt's own presents it (role, state, place, press and open),
// named by its caption without markers.
class CaptionedMenuItem : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  CaptionedMenuItem(QAction* action, QWidget* owner) : action_(action), owner_(owner) {}

  bool isValid() const override { return action_ && owner_; }
  QObject* object() const override { return action_; }
  QWindow* window() const override {
    if (!owner_) return nullptr;
    if (QWindow* w = owner_->windowHandle()) return w;
    const QWidget* native = owner_->nativeParentWidget();
    return native ? native->windowHandle() : nullptr;
  }
  QAccessibleInterface* parent() const override {
    return owner_ ? QAccessible::queryAccessibleInterface(owner_.data()) : nullptr;
  }
  QAccessibleInterface* child(int index) const override {
    if (index == 0 && action_ && action_->menu())
      return QAccessible::queryAccessibleInterface(action_->menu());
    return nullptr;
  }
  int childCount() const override { return action_ && action_->menu() ? 1 : 0; }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child && child == this->child(0) ? 0 : -1;
  }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }

  QString text(QAccessible::Text t) const override {
    if (!action_) return {};
    switch (t) {
      case QAccessible::Name: return CaptionWithoutMarkers(action_->text());
      case QAccessible::Accelerator: return action_->shortcut().toString(QKeySequence::NativeText);
      case QAccessible::Description:
        return action_->toolTip() == CaptionWithoutMarkers(action_->text()) ? QString()
                                                                            : action_->toolTip();
      default: return {};
    }
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    if (!action_ || !owner_) return {};
    QRect r;
    if (auto* bar = qobject_cast<QMenuBar*>(owner_.data()))
      r = bar->actionGeometry(action_);
    else if (auto* menu = qobject_cast<QMenu*>(owner_.data()))
      r = menu->actionGeometry(action_);
    return r.translated(owner_->mapToGlobal(QPoint(0, 0)));
  }
  QAccessible::Role role() const override {
    return action_ && action_->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!action_ || !owner_) {
      s.invalid = true;
      return s;
    }
    if (!owner_->isVisible() || !action_->isVisible()) s.invisible = true;
    const QAction* active = nullptr;
    if (auto* bar = qobject_cast<QMenuBar*>(owner_.data())) active = bar->activeAction();
    if (auto* menu = qobject_cast<QMenu*>(owner_.data())) active = menu->activeAction();
    if (active == action_) s.focused = true;
    s.focusable = true;
    if (owner_->style()->styleHint(QStyle::SH_Menu_MouseTracking)) s.hotTracked = true;
    if (action_->isSeparator() || !action_->isEnabled()) s.disabled = true;
    if (action_->isCheckable()) s.checkable = true;
    if (action_->isChecked()) s.checked = true;
    if (action_->menu()) s.hasPopup = true;
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                             : nullptr;
  }

  QStringList actionNames() const override {
    if (!action_ || action_->isSeparator() || !action_->isEnabled()) return {};
    return {action_->menu() ? showMenuAction() : pressAction()};
  }
  void doAction(const QString& name) override {
    if (!action_ || !owner_ || !action_->isEnabled()) return;
    if (name == pressAction()) {
      action_->trigger();
    } else if (name == showMenuAction()) {
      if (auto* bar = qobject_cast<QMenuBar*>(owner_.data()))
        bar->setActiveAction(action_);
      else if (auto* menu = qobject_cast<QMenu*>(owner_.data()))
        menu->setActiveAction(action_);
    }
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QPointer<QAction> action_;
  QPointer<QWidget> owner_;
};

QAccessibleInterface* CaptionedItemFactory(const QString&, QObject* object) {
  auto* action = qobject_cast<QAction*>(object);
  if (!action || !action->property(kCaptionProperty).toBool()) return nullptr;
  QWidget* owner = OwnerOf(action);
  return owner ? new CaptionedMenuItem(action, owner) : nullptr;
}

}  // namespace

QString CaptionWithoutMarkers(const QString& caption) {
  QString out;
  out.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&') {
      if (i + 1 < caption.size() && caption[i + 1] == u'&') out += u'&';
      ++i;
      if (i < caption.size() && caption[i] != u'&') out += caption[i];
      continue;
    }
    out += caption[i];
  }
  return out;
}

void NameAfterCaption(QWidget* widget, const QString& caption) {
  QVariant designed = widget->property(kDesignedNameProperty);
  if (!designed.isValid()) {
    designed = !widget->accessibleName().isEmpty();
    widget->setProperty(kDesignedNameProperty, designed);
  }
  if (designed.toBool()) return;
  // A label without a buddy shows its "&" as they are. Captions without
  // markers keep Qt's own name.
  auto* label = qobject_cast<QLabel*>(widget);
  const bool markers = caption.contains(u'&') && (!label || label->buddy());
  const QString name = markers ? CaptionWithoutMarkers(caption) : QString();
  if (widget->accessibleName() != name) widget->setAccessibleName(name);
}

void ReadCaptionOfAction(QAction* action) {
  static const bool installed = [] {
    QAccessible::installFactory(CaptionedItemFactory);
    return true;
  }();
  (void)installed;
  action->setProperty(kCaptionProperty, true);
}

}  // namespace orvex
