#include "support/window/ControlLayout.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>

namespace keldara::test {

namespace {

// What a user sees as one control: a text, a button or box, a spin box, a list, a grid, a tab bar,
// the menu bar or the progress bar, together with the parts it is made of (a list's text box, a
// grid's headers). Group boxes, frames and pages only hold controls.
bool isControl(const QWidget* widget) {
    return qobject_cast<const QLabel*>(widget) || qobject_cast<const QAbstractButton*>(widget) ||
           qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QAbstractScrollArea*>(widget) ||
           qobject_cast<const QTabBar*>(widget) || qobject_cast<const QProgressBar*>(widget) ||
           qobject_cast<const QMenuBar*>(widget);
}

bool insideAnotherControl(const QWidget* widget, const QWidget* window) {
    for (const QWidget* up = widget->parentWidget(); up && up != window; up = up->parentWidget())
        if (isControl(up)) return true;
    return false;
}

QRect inWindow(const QWidget* widget, const QWidget* window) {
    return {widget->mapTo(window, QPoint(0, 0)), widget->size()};
}

std::string text(const QRect& r) {
    return QStringLiteral("(%1,%2 %3x%4)")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .toStdString();
}

// The width the control's caption needs to show whole; 0 for a control without a caption.
int captionWidth(const QWidget* widget) {
    if (const auto* box = qobject_cast<const QCheckBox*>(widget)) return box->sizeHint().width();
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        return button->fontMetrics().horizontalAdvance(button->text()) +
               button->style()->pixelMetric(QStyle::PM_ButtonMargin);
    }
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (label && !label->wordWrap() && !label->text().isEmpty()) return label->sizeHint().width();
    return 0;
}

}  // namespace

// Each visible control lies whole inside the window and inside every frame that holds it (a
// frame cuts off what lies beyond its edges), shows its whole caption, and covers no other
// control.
void expectEveryControlVisibleAndUncovered(QWidget* window, const std::string& where,
                                           const QStringList& overlapping) {
    SCOPED_TRACE(where);
    QList<const QWidget*> controls;
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->isWindow() || !widget->isVisibleTo(window) || !isControl(widget) ||
            insideAnotherControl(widget, window))
            continue;
        controls << widget;
        const QRect rect = inWindow(widget, window);
        const std::string name = widget->objectName().toStdString();
        EXPECT_FALSE(rect.isEmpty()) << name;
        for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
            const QRect holder = up == window ? window->rect() : inWindow(up, window);
            EXPECT_TRUE(holder.contains(rect))
                << name << " " << text(rect) << " reaches beyond " << up->objectName().toStdString()
                << " " << text(holder);
            if (up == window) break;
        }
        EXPECT_GE(widget->width(), captionWidth(widget)) << name << " cuts its caption off";
    }
    for (qsizetype a = 0; a < controls.size(); ++a) {
        for (qsizetype b = a + 1; b < controls.size(); ++b) {
            QStringList pair{controls[a]->objectName(), controls[b]->objectName()};
            pair.sort();
            if (overlapping.contains(pair[0]) && overlapping.contains(pair[1])) continue;
            EXPECT_FALSE(inWindow(controls[a], window).intersects(inWindow(controls[b], window)))
                << pair.join(" and ").toStdString() << " cover each other";
        }
    }
}

}  // namespace keldara::test
