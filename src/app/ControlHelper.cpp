#include "app/ControlHelper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QVariant>
#include <QWidget>

namespace {

// Where a control keeps the focus policy it had before it left the Tab order.
constexpr const char* TabFocusProperty = "zelvanTabFocusPolicy";

// A group or scroll box, or a bare widget that only holds a layout (a scroll box's page).
bool IsContainer(const QWidget* control)
{
    return qobject_cast<const QGroupBox*>(control) || qobject_cast<const QScrollArea*>(control) ||
           control->metaObject() == &QWidget::staticMetaObject;
}

QList<QWidget*> ChildControls(QWidget* container)
{
    if (auto* box = qobject_cast<QScrollArea*>(container))
        return box->widget() ? QList<QWidget*>{box->widget()} : QList<QWidget*>{};
    QList<QWidget*> children = container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    children.removeIf([](const QWidget* child) { return qobject_cast<const QLabel*>(child) != nullptr; });
    return children;
}

void SetTabStop(QWidget* control, bool tabStop)
{
    QVariant saved = control->property(TabFocusProperty);
    if (tabStop) {
        if (saved.isValid()) {
            control->setFocusPolicy(Qt::FocusPolicy(saved.toInt()));
            control->setProperty(TabFocusProperty, QVariant());
        }
    } else if (!saved.isValid() && (control->focusPolicy() & Qt::TabFocus)) {
        control->setProperty(TabFocusProperty, int(control->focusPolicy()));
        // Still reachable by the mouse: the field stays editable.
        control->setFocusPolicy(Qt::FocusPolicy(control->focusPolicy() & ~Qt::TabFocus));
    }
}

void SetFieldColour(QWidget* control, bool enabled)
{
    // A button keeps the look of a button.
    if (qobject_cast<QAbstractButton*>(control))
        return;
    const QWidget* parent = control->parentWidget();
    const QColor colour = enabled || !parent ? QApplication::palette(control).color(QPalette::Base)
                                             : parent->palette().color(parent->backgroundRole());
    QPalette palette = control->palette();
    palette.setColor(QPalette::Base, colour);
    // A fixed list is drawn like a button; it has to change with the fields around it.
    if (auto* combo = qobject_cast<QComboBox*>(control); combo && !combo->isEditable())
        palette.setColor(QPalette::Button, colour);
    control->setPalette(palette);
}

void Apply(QWidget* control, bool enabled, const QList<QWidget*>& except)
{
    if (!control || except.contains(control))
        return;
    if (IsContainer(control)) {
        for (QWidget* child : ChildControls(control))
            Apply(child, enabled, except);
    } else if (qobject_cast<QLabel*>(control)) {
        control->setEnabled(enabled);
    } else {
        SetTabStop(control, enabled);
        SetFieldColour(control, enabled);
    }
}

} // namespace

void SetControlsEnabled(const QList<QWidget*>& controls, bool enabled, const QList<QWidget*>& except)
{
    for (QWidget* control : controls)
        Apply(control, enabled, except);
}
