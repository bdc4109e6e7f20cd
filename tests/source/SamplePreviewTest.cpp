#include <QComboBox>
#include <QLocale>
#include <QTableView>

#include "platform/dao/Value.h"
#include "source/SourceWindow.h"

namespace keldara::test {
namespace {

const QByteArray ThreeRecords =
    "id,name,price\n"
    "1,Anna,1.5\n"
    "2,,\n"
    "3,Cleo,2.25\n";

QString shown(const dao::Value& v) {
    return v.displayText();
}

class SamplePreviewTest : public SourceWindow {
  protected:
    void openThree() {
        open(writeFile("three.csv", ThreeRecords));
        ASSERT_TRUE(ws().state.bSourceLoaded) << messageTexts().join('\n').toStdString();
    }
    QStringList record(int id, const char* name, double price) {
        return {shown(dao::Value::integer(id)), name, shown(dao::Value::floating(price))};
    }
};

TEST_F(SamplePreviewTest, ASingleRecordDisablesBothButtons) {
    open(fixturePath("mdb/spannm__ucanaccess/functionsV2000.mdb"));
    ASSERT_TRUE(ws().state.bSourceLoaded) << messageTexts().join('\n').toStdString();
    EXPECT_EQ(label("lblSample"), "Current Record:1 of 1");
    EXPECT_FALSE(prevEnabled());
    EXPECT_FALSE(nextEnabled());
    EXPECT_EQ(column(0), (QStringList{"id", "descr", "num", "date0"}));
    EXPECT_EQ(column(4), (QStringList{shown(dao::Value::integer(1234)), "Show must go off",
                                      shown(dao::Value::decimal("-1110.554")),
                                      shown(dao::Value::dateTime({2003, 11, 22, 22, 42, 58, 0}))}));
}

TEST_F(SamplePreviewTest, TheButtonsStepThroughSeveralRecords) {
    openThree();
    EXPECT_EQ(label("lblSample"), "Current Record:1 of 3");
    EXPECT_FALSE(prevEnabled());
    EXPECT_TRUE(nextEnabled());
    EXPECT_EQ(column(4), record(1, "Anna", 1.5));

    next();
    EXPECT_EQ(label("lblSample"), "Current Record:2 of 3");
    EXPECT_TRUE(prevEnabled());
    EXPECT_TRUE(nextEnabled());
    // Null values show as empty cells.
    EXPECT_EQ(column(4), (QStringList{shown(dao::Value::integer(2)), "", ""}));

    next();
    EXPECT_EQ(label("lblSample"), "Current Record:3 of 3");
    EXPECT_TRUE(prevEnabled());
    EXPECT_FALSE(nextEnabled());
    EXPECT_EQ(column(4), record(3, "Cleo", 2.25));

    prev();
    prev();
    EXPECT_EQ(label("lblSample"), "Current Record:1 of 3");
    EXPECT_FALSE(prevEnabled());
    EXPECT_TRUE(nextEnabled());
    EXPECT_EQ(column(4), record(1, "Anna", 1.5));
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

TEST_F(SamplePreviewTest, ValuesAreWrittenAsTheUsersLocaleWritesThem) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    openThree();
    next();
    next();
    const QStringList preview = column(4);
    QLocale::setDefault(before);
    EXPECT_EQ(preview, (QStringList{"3", "Cleo", "2,25"}));
}

// Preview and grid alike: four-digit years in the locale's order, a time on the zero date alone.
TEST_F(SamplePreviewTest, DatesShowTheirWholeYearAndTimesNoDate) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    open(writeFile("dates.csv", "born,at\n1898-03-09,1899-12-30 13:35:38\n"));
    const QStringList expected = {"3/9/1898", shown(dao::Value::time(13, 35, 38))};
    const QStringList preview = column(4);
    const QAbstractItemModel* grid = control<QTableView>("grdSourceData")->model();
    const QStringList gridRow = {grid->index(0, 0).data().toString(),
                                 grid->index(0, 1).data().toString()};
    QLocale::setDefault(before);
    EXPECT_EQ(preview, expected);
    EXPECT_EQ(gridRow, expected);
}

TEST_F(SamplePreviewTest, AMoveHidesTheGridEditor) {
    openThree();
    control("cboSelection")->show();
    next();
    EXPECT_FALSE(control("cboSelection")->isVisible());
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
        EXPECT_EQ(label("lblSample"), "Current Record:3 of 3");
        EXPECT_TRUE(prevEnabled());
        EXPECT_FALSE(nextEnabled());
        EXPECT_EQ(column(4), record(3, "Cleo", 2.25));
    }
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

TEST_F(SamplePreviewTest, AfterCloseAPressWritesNothingAndDisablesTheButtons) {
    openThree();
    next();
    button("cmdSourceClose")->click();
    ASSERT_TRUE(nextEnabled());  // "Close" leaves the buttons as they were
    next();
    EXPECT_EQ(mappingRows(), 1);
    EXPECT_EQ(mappingGrid()->rowCount(), 0);
    EXPECT_EQ(label("lblSample"), "Current Record:2 of 3");
    EXPECT_FALSE(prevEnabled());
    EXPECT_FALSE(nextEnabled());
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

TEST_F(SamplePreviewTest, AnEmptyTableLoadsWithNoRecordToShow) {
    open(fixturePath("mdb/jahlborn__jackcess/testV1997.mdb"));
    choose("Table3");
    EXPECT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts().join('\n').toStdString();
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(label("lblSourceInfoData_0"), "0");
    EXPECT_EQ(label("lblSample"), "Current Record:0 of 0");
    EXPECT_FALSE(prevEnabled());
    EXPECT_FALSE(nextEnabled());
    EXPECT_EQ(column(0), (QStringList{"a", "b"}));
    EXPECT_EQ(column(4), (QStringList{"", ""}));
    next();
    EXPECT_EQ(label("lblSample"), "Current Record:0 of 0");
}

}  // namespace
}  // namespace keldara::test
