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
QComboBox* makeComboBox(QWidget* parent, const QString& name, double left, double top, double width,
                        double height = 315);
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, double left,
                        double top, double width, double height = 300);
QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption, double left,
                        double top, double width, double height = 315);
// The display-only frame of record and field counts: "<side>" names its frame fra<side>,
// its labels lbl<side>Info_0/1 and its value labels lbl<side>InfoData_0/1, which it returns.
struct CountsFrame {
    QGroupBox* frame;
    QLabel* values[2];
};
CountsFrame makeCountsFrame(QWidget* parent, const QString& side, double left);

QGroupBox* makeFrame(QWidget* parent, const QString& name, double left, double top, double width,
                     double height);
// A data grid with its caption bar, named name + "_caption".
CaptionedGrid* makeDataGrid(QWidget* parent, const QString& name);

// Discards typing in a choice list: key down, key press and key up never reach it, nor its
// open drop-down list (where Escape still closes the list).
void suppressKeys(QComboBox* combo);

}  // namespace keldara::shell
