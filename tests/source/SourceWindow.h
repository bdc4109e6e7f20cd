#pragma once

#include <QFile>
#include <QLabel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

#include "mapping/ui/MappingPage.h"
#include "source/ui/SourcePanel.h"
#include "support/Files.h"
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
    QString caption() { return label("grdSourceData_caption"); }

    QTableWidget* mappingGrid() { return control<QTableWidget>("grdFieldMappings"); }
    int mappingRows() { return mappingGrid()->rowCount() + 1; }  // the header counts as row 0
    QStringList column(int column) {
        QStringList texts;
        for (int row = 0; row < mappingGrid()->rowCount(); ++row) {
            const QTableWidgetItem* item = mappingGrid()->item(row, column);
            texts.append(item ? item->text() : QString());
        }
        return texts;
    }
    long shownRecords() { return control<QTableView>("grdSourceData")->model()->rowCount(); }
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
        return test::writeFile(folder.filePath(name), content);
    }

    // The source side as the user sees it closed (the file can be chosen) or open (a table).
    void expectOpen(bool open) {
        for (const char* name : {"txtSourceFileName", "cmdSourceBrowse", "cmdSourceConnect"})
            EXPECT_NE(control(name)->isEnabled(), open) << name;
        EXPECT_EQ(button("cmdSourceClose")->isEnabled(), open);
        EXPECT_EQ(combo("cboSourceTable")->isEnabled(), open);
        EXPECT_TRUE(textBox("txtSourceFilePassword")->isEnabled());
        if (!open) {
            EXPECT_EQ(combo("cboSourceTable")->currentText(), "Select Source Data");
            EXPECT_EQ(combo("cboSourceTable")->count(), 0);
        }
    }
    // The one message a failed load shows, naming its line.
    void expectLoadError(const QString& detail = {}) {
        ASSERT_EQ(doubles.messages.shown.size(), 1) << messageTexts().join('\n').toStdString();
        const auto& message = doubles.messages.shown.first();
        EXPECT_EQ(message.title, "Vostrel");
        EXPECT_EQ(message.buttons, platform::MessageButtons::Ok);
        EXPECT_TRUE(message.text.startsWith(
            "An Error occured in [frmMain] (Sub) LoadDataSource : Line 180 - "))
            << message.text.toStdString();
        EXPECT_TRUE(message.text.contains(detail)) << message.text.toStdString();
        EXPECT_FALSE(ws().state.bSourceLoaded);
    }
    void expectNoMessage() {
        EXPECT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts().join('\n').toStdString();
    }

    QTemporaryDir folder;
};

}  // namespace keldara::test
