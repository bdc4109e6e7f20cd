#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "shell/ui/CaptionedGrid.h"

namespace keldara::shell {

// Small builders for the window's controls: each gets its inventory name as objectName and
// is placed in twips relative to its container.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, double left,
                  double top, double width, double height = 255);
QLineEdit* makeTextBox(QWidget* parent, const QString& name, double left, double top, double width,
                       double height = 300);
QComboBox* makeComboBox(QWidget* parent, const QString& name, double left, double top,
                        double width, double height = 315);
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, double left,
                        double top, double width, double height = 300);
QGroupBox* makeFrame(QWidget* parent, const QString& name, double left, double top, double width,
                     double height);
// A data grid with its caption bar, named name + "_caption".
CaptionedGrid* makeDataGrid(QWidget* parent, const QString& name);

// Discards typing in a choice list: key down, key press and key up never reach it.
void suppressKeys(QComboBox* combo);

}  // namespace keldara::shell
