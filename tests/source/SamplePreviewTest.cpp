#include <QLocale>

#include "platform/dao/Value.h"
#include "source/SourceWindow.h"

namespace keldara::test {
namespace {

class SamplePreviewTest : public SourceWindow {
  protected:
    void openThree() {
        open(writeFile("three.csv", "id,name,price\n1,Anna,1.5\n2,,\n3,Cleo,2.25\n"));
        ASSERT_TRUE(ws().state.bSourceLoaded) << messageTexts();
    }
    // The record counter, the two buttons and the preview column of record `current`.
    void expectShown(int current, int total = 3) {
        const QStringList records[] = {{"1", "Anna", "1.5"}, {"2", "", ""}, {"3", "Cleo", "2.25"}};
        EXPECT_EQ(label("lblSample"), QString("Current Record:%1 of %2").arg(current).arg(total));
        EXPECT_EQ(prevEnabled(), current > 1);
        EXPECT_EQ(nextEnabled(), current < total);
        EXPECT_EQ(column(4), records[current - 1]);  // Nulls show empty
    }
};

TEST_F(SamplePreviewTest, TheButtonsStepThroughTheRecordsUntilTheSourceCloses) {
    openThree();
    expectShown(1);
    control("cboSelection")->show();
    next();
    EXPECT_FALSE(control("cboSelection")->isVisible());
    expectShown(2);
    next();
    expectShown(3);
    prev();
    prev();
    expectShown(1);

    // "Close" leaves the buttons as they were; a press then writes nothing and disables them.
    next();
    button("cmdSourceClose")->click();
    ASSERT_TRUE(nextEnabled());
    next();
    EXPECT_EQ(mappingGrid()->rowCount(), 0);
    EXPECT_EQ(label("lblSample"), "Current Record:2 of 3");
    EXPECT_FALSE(prevEnabled() || nextEnabled());
    expectNoMessage();
}

// A transfer walks the same records and leaves them past the last one.
TEST_F(SamplePreviewTest, AfterATransferLeftTheRecordsPastTheEndBothButtonsShowTheLast) {
    openThree();
    for (int button : {1, 0}) {
        SCOPED_TRACE(button);
        dao::Recordset* records = window->source()->adoSourceData()->recordset();
        records->moveLast();
        records->moveNext();
        ASSERT_TRUE(records->eof());
        button == 1 ? next() : prev();
        expectShown(3);
    }
    expectNoMessage();
}

// Preview and grid alike: numbers and dates as the user's locale writes them, with four-digit
// years, and a time on the zero date alone.
TEST_F(SamplePreviewTest, ValuesAreWrittenAsTheUsersLocaleWritesThem) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    open(writeFile("values.csv", "born,at,price\n1898-03-09,1899-12-30 13:35:38,2.25\n"));
    const QStringList expected = {"09.03.1898", dao::Value::time(13, 35, 38).displayText(), "2,25"};
    const QStringList preview = column(4);
    const QAbstractItemModel* grid = control<QTableView>("grdSourceData")->model();
    QStringList gridRow;
    for (int c = 0; c < 3; ++c) gridRow << grid->index(0, c).data().toString();
    QLocale::setDefault(before);
    EXPECT_EQ(preview, expected);
    EXPECT_EQ(gridRow, expected);
}

}  // namespace
}  // namespace keldara::test
