#pragma once

#include <QAbstractItemModel>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QList>
#include <QPair>

#include "shell/ui/StatusBar.h"

namespace keldara::test {

// The progress bar's maximum and value at the moment each entry is added to a list.
class ProgressRecorder {
  public:
    ProgressRecorder(QComboBox* list, shell::ProgressBar* progress) {
        connection_ =
            QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [this, progress] {
                steps.append({progress->maximumValue(), progress->currentValue()});
            });
    }
    ~ProgressRecorder() { QObject::disconnect(connection_); }

    QList<QPair<double, double>> steps;

  private:
    QMetaObject::Connection connection_;
};

// The status texts in the order they were painted (repeats of the same text once).
class StatusRecorder : public QObject {
  public:
    explicit StatusRecorder(QLabel* panel) : panel_(panel) { panel_->installEventFilter(this); }
    ~StatusRecorder() override { panel_->removeEventFilter(this); }

    QStringList texts;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && (texts.isEmpty() || texts.last() != panel_->text())) {
            texts << panel_->text();
        }
        return false;
    }

  private:
    QLabel* panel_;
};

inline QList<QPair<double, double>> progressSteps(double maximum) {
    QList<QPair<double, double>> steps;
    for (int value = 0; value <= maximum; ++value) steps.append({maximum, value});
    return steps;
}

}  // namespace keldara::test
