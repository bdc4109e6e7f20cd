#pragma once

#include <QFile>
#include <QLabel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

#include "mapping/ui/MappingPage.h"
#include "shell/ui/CaptionedGrid.h"
#include "source/ui/SourcePanel.h"
#include "support/Paths.h"
#include "support/WindowFixture.h"

namespace keldara::test {

// The main window with helpers for the source side: open a file as a user would, choose a
// table, and read back what the window shows.
class SourceWindow : public WindowFixture {
  protected:
    void open(const QString& path, const QString& password = {}) {
        textBox("txtSourceFileName")->setText(path);
        textBox("txtSourceFilePassword")->setText(password);
        button("cmdSourceConnect")->click();
    }

    void choose(const QString& table) {
        QComboBox* list = combo("cboSourceTable");
        const int index = list->findText(table, Qt::MatchExactly);
        ASSERT_GE(index, 0) << "no table " << table.toStdString();
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    QStringList tableList() {
        QStringList names;
        QComboBox* list = combo("cboSourceTable");
        for (int i = 0; i < list->count(); ++i) names.append(list->itemText(i));
        return names;
    }

    QString label(const char* name) { return control<QLabel>(name)->text(); }
    QString caption() { return control<shell::CaptionedGrid>("grdSourceData")->caption(); }

    QTableWidget* mappingGrid() { return control<QTableWidget>("grdFieldMappings"); }
    // Grid rows as the user counts them: row 0 is the header.
    int mappingRows() { return mappingGrid()->rowCount() + 1; }
    QString cell(int row, int column) {
        const QTableWidgetItem* item = mappingGrid()->item(row - 1, column);
        return item ? item->text() : QString();
    }
    QStringList column(int column) {
        QStringList texts;
        for (int row = 1; row < mappingRows(); ++row) texts.append(cell(row, column));
        return texts;
    }

    long shownRecords() {
        auto* grid = control<QTableView>("grdSourceData");
        return grid->model()->rowCount();
    }
    bool prevEnabled() { return button("cmdSampleMove_0")->isEnabled(); }
    bool nextEnabled() { return button("cmdSampleMove_1")->isEnabled(); }
    void prev() { button("cmdSampleMove_0")->click(); }
    void next() { button("cmdSampleMove_1")->click(); }

    QStringList messageTexts() {
        QStringList texts;
        for (const auto& m : doubles.messages.shown) texts.append(m.text);
        return texts;
    }

    // Writes a file in the test's own folder and returns its path.
    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(content);
        return path;
    }

    // The source side's closed state, as the user sees it.
    void expectClosedControls() {
        EXPECT_TRUE(textBox("txtSourceFileName")->isEnabled());
        EXPECT_TRUE(button("cmdSourceBrowse")->isEnabled());
        EXPECT_TRUE(button("cmdSourceConnect")->isEnabled());
        EXPECT_FALSE(button("cmdSourceClose")->isEnabled());
        EXPECT_FALSE(combo("cboSourceTable")->isEnabled());
        EXPECT_EQ(combo("cboSourceTable")->currentText(), "Select Source Data");
        EXPECT_EQ(combo("cboSourceTable")->count(), 0);
        EXPECT_TRUE(textBox("txtSourceFilePassword")->isEnabled());
    }
    void expectOpenControls() {
        EXPECT_FALSE(textBox("txtSourceFileName")->isEnabled());
        EXPECT_FALSE(button("cmdSourceBrowse")->isEnabled());
        EXPECT_FALSE(button("cmdSourceConnect")->isEnabled());
        EXPECT_TRUE(button("cmdSourceClose")->isEnabled());
        EXPECT_TRUE(combo("cboSourceTable")->isEnabled());
        EXPECT_TRUE(textBox("txtSourceFilePassword")->isEnabled());
    }

    QTemporaryDir folder;
};

}  // namespace keldara::test
