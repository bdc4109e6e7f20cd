#pragma once

#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

#include "mapping/ui/MappingPage.h"
#include "source/ui/SourcePanel.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/WindowFixture.h"

namespace keldara::test {

// The main window with helpers for the source side: open a file as a user would and read back
// what the window shows.
class SourceWindow : public WindowFixture {
  protected:
    void open(const QString& path, const QString& password = {}) {
        textBox("txtSourceFileName")->setText(path);
        textBox("txtSourceFilePassword")->setText(password);
        button("cmdSourceConnect")->click();
    }
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
    std::string messageTexts() {
        QStringList texts;
        for (const auto& m : doubles.messages.shown) texts.append(m.text);
        return texts.join('\n').toStdString();
    }
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
        ASSERT_EQ(doubles.messages.shown.size(), 1) << messageTexts();
        const auto& message = doubles.messages.shown.first();
        EXPECT_EQ(message.title, "Vostrel");
        EXPECT_EQ(message.buttons, platform::MessageButtons::Ok);
        EXPECT_TRUE(message.text.startsWith(
                        "An Error occured in [frmMain] (Sub) LoadDataSource : Line 180 - ") &&
                    message.text.contains(detail))
            << message.text.toStdString();
        EXPECT_FALSE(ws().state.bSourceLoaded);
    }
    void expectNoMessage() { EXPECT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts(); }

    QTemporaryDir folder;
};

}  // namespace keldara::test
