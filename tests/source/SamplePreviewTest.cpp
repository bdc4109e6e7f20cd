#include <QLocale>
#include <QTableView>

#include "platform/dao/Value.h"
#include "source/SourceWindow.h"

namespace keldara::test {
namespace {

QString shown(const dao::Value& v) {
    return v.displayText();
}

class SamplePreviewTest : public SourceWindow {
  protected:
    void openThree() {
        open(writeFile("three.csv", "id,name,price\n1,Anna,1.5\n2,,\n3,Cleo,2.25\n"));
        ASSERT_TRUE(ws().state.bSourceLoaded) << messageTexts().join('\n').toStdString();
    }
    QStringList record(int id, const char* name, double price) {
        return {shown(dao::Value::integer(id)), name, shown(dao::Value::floating(price))};
    }
    // The record counter, the two buttons and the preview column.
    void expectShown(int current, int total, const QStringList& preview) {
        EXPECT_EQ(label("lblSample"), QString("Current Record:%1 of %2").arg(current).arg(total));
        EXPECT_EQ(prevEnabled(), current > 1);
        EXPECT_EQ(nextEnabled(), current < total);
        EXPECT_EQ(column(4), preview);
    }
};

TEST_F(SamplePreviewTest, ASingleRecordDisablesBothButtons) {
    open(fixturePath("mdb/spannm__ucanaccess/functionsV2000.mdb"));
    ASSERT_TRUE(ws().state.bSourceLoaded) << messageTexts().join('\n').toStdString();
    EXPECT_EQ(column(0), (QStringList{"id", "descr", "num", "date0"}));
    expectShown(1, 1,
                {shown(dao::Value::integer(1234)), "Show must go off",
                 shown(dao::Value::decimal("-1110.554")),
                 shown(dao::Value::dateTime({2003, 11, 22, 22, 42, 58, 0}))});
}

TEST_F(SamplePreviewTest, TheButtonsStepThroughTheRecordsUntilTheSourceCloses) {
    openThree();
    expectShown(1, 3, record(1, "Anna", 1.5));
    control("cboSelection")->show();
    next();
    EXPECT_FALSE(control("cboSelection")->isVisible());
    expectShown(2, 3, {shown(dao::Value::integer(2)), "", ""});  // Nulls show empty
    next();
    expectShown(3, 3, record(3, "Cleo", 2.25));
    prev();
    prev();
    expectShown(1, 3, record(1, "Anna", 1.5));

    // "Close" leaves the buttons as they were; a press then writes nothing and disables them.
    next();
    button("cmdSourceClose")->click();
    ASSERT_TRUE(nextEnabled());
    next();
    EXPECT_EQ(mappingGrid()->rowCount(), 0);
    EXPECT_EQ(label("lblSample"), "Current Record:2 of 3");
    EXPECT_FALSE(prevEnabled());
    EXPECT_FALSE(nextEnabled());
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

// Preview and grid alike: numbers and dates as the user's locale writes them, with four-digit
// years, and a time on the zero date alone.
TEST_F(SamplePreviewTest, ValuesAreWrittenAsTheUsersLocaleWritesThem) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    open(writeFile("values.csv", "born,at,price\n1898-03-09,1899-12-30 13:35:38,2.25\n"));
    const QStringList expected = {"09.03.1898", shown(dao::Value::time(13, 35, 38)), "2,25"};
    const QStringList preview = column(4);
    const QAbstractItemModel* grid = control<QTableView>("grdSourceData")->model();
    QStringList gridRow;
    for (int c = 0; c < 3; ++c) gridRow << grid->index(0, c).data().toString();
    QLocale::setDefault(before);
    EXPECT_EQ(preview, expected);
    EXPECT_EQ(gridRow, expected);
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
        expectShown(3, 3, record(3, "Cleo", 2.25));
    }
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

}  // namespace
}  // namespace keldara::test
