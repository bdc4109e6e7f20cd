#include <QCoreApplication>
#include <QLocale>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

#include "mapping/ui/MappingPage.h"
#include "platform/dao/Connection.h"
#include "platform/dao/ConnectionString.h"
#include "platform/dao/DataControl.h"
#include "platform/dao/FieldTypeName.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/Value.h"
#include "shell/ui/StatusBar.h"
#include "source/LoadMemory.h"
#include "source/SourceFiles.h"
#include "source/ui/SourcePanel.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/ProcessMemory.h"
#include "support/WindowFixture.h"

namespace keldara::test {
namespace {

using namespace source;
using platform::MessageAnswer;

const QByteArray OrdersCsv =
    "id,when,name,price\n1,2024-01-15,Anna,1.5\n2,,Bert,\n3,2024-03-01,,2.25\n";

// The kind is read from the path's last three characters (".xlsx" and ".xlsm" from their four
// letters and dot), in any case and untrimmed.
TEST(SourceConnectionStrings, FollowTheKindOfTheLastThreeCharacters) {
    const QString Jet = "Provider=Microsoft.Jet.OLEDB.4.0;";
    const QString Text = "\\;Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"";
    const QString Dbf = "Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=";
    const QString Clause = "Persist Security Info=False;Jet OLEDB:Database Password=pw";
    const QString Xml = "Extended Properties=\"Excel 12.0 Xml;\"";
    const QString Macro = "Extended Properties=\"Excel 12.0 Macro;\"";
    const QString Ods = "Extended Properties=\"OpenDocument Spreadsheet;\"";
    const std::array<QString, 3> cases[] = {
        {"C:\\data\\SHOP.MDB", Clause, Jet + "Data Source=C:\\data\\SHOP.MDB;" + Clause},
        {"/srv/shopmdb", "", Jet + "Data Source=/srv/shopmdb;"},  // the letters alone suffice
        {"/srv/Shop.ACCDB", Clause,
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/srv/Shop.ACCDB;" + Clause},
        {"/srv/shopaccdb", "", Jet},  // but an Access 2007+ database needs its dot
        {"/srv/Book.XLS", Clause, Jet + "Data Source=/srv/Book.XLS;Extended Properties=Excel 8.0;"},
        {"C:\\data\\orders.csv", Clause, Jet + "Data Source=C:\\data" + Text},
        {"/home/u/list.TXT", "", Jet + "Data Source=/home/u" + Text},
        {"C:\\orders.csv", "", Jet + "Data Source=C:\\" + Text},
        {"orders.csv", "", Jet + "Data Source=." + Text},  // the current folder
        {"/srv/people.dbf", Clause, Dbf + "/srv"},
        {"people.dbf", "", Dbf + "."},
        {"/srv/Book.XLSX", Clause, Jet + "Data Source=/srv/Book.XLSX;" + Xml},
        {"/srv/macros.xlsm", "", Jet + "Data Source=/srv/macros.xlsm;" + Macro},
        {"/srv/sheet.ODS", "", Jet + "Data Source=/srv/sheet.ODS;" + Ods},
        {"/srv/bookxlsx", "", Jet},      // four letters need their dot
        {"/srv/book.xlsb", "", Jet},     // no supported kind
        {"/srv/orders.csv  ", "", Jet},  // blanks after the extension hide the kind
        {"  /srv/shop.mdb", "", Jet + "Data Source={  /srv/shop.mdb};"},
    };
    for (const auto& [path, clause, expected] : cases)
        EXPECT_EQ(SourceConnectionString(path, clause), expected) << path.toStdString();
}

// Whatever the path or password, the providers read back exactly what was given.
TEST(SourceConnectionStrings, GiveBackPathsAndPasswordsUnchanged) {
    const std::array<QString, 4> cases[] = {
        {"/srv/shop.mdb", "a}b;Data Source=x", "Jet OLEDB:Database Password", "a}b;Data Source=x"},
        {" /srv/a;b {1}.mdb", "pw", "Data Source", " /srv/a;b {1}.mdb"},
        {"/srv/a;b/orders.csv", "", "Data Source", "/srv/a;b\\"},
        {" /srv/{b}/people.dbf", "", "SourceDB", " /srv/{b}"},
    };
    for (const auto& [path, password, key, expected] : cases) {
        const auto parsed = dao::ConnectionString::parse(
            SourceConnectionString(path, SourcePasswordClause(password)));
        EXPECT_EQ(parsed.value(key), expected) << path.toStdString();
    }
    EXPECT_EQ(SourcePasswordClause("   "), "");
    EXPECT_EQ(FileNameOfPath("C:\\data\\My Orders.CSV"), "My Orders.CSV");
}

// Workbooks list every sheet but those named "Database"; text and dBase files their own name.
TEST(SourceTableNames, ListEverySheetButDatabasesOrTheFilesOwnName) {
    dao::Recordset catalogue({dao::FieldInfo{"TABLE_NAME", dao::adType::VarChar, 64, 0, 0}});
    for (const char* name : {"Data$", "Database$", "'old database$'", "My Databases$"}) {
        const dao::Value value = dao::Value::text(name);
        catalogue.appendRow(std::span<const dao::Value>(&value, 1));
    }
    for (const char* workbook : {"/d/book.xls", "/d/book.xlsx", "/d/book.xlsm", "/d/book.ods"}) {
        EXPECT_EQ(SourceTableNames(workbook, catalogue), QStringList({"Data$", "'old database$'"}))
            << workbook;
    }
    EXPECT_EQ(SourceTableNames("/d/people.DBF", catalogue), QStringList{"people.DBF"});
}

// The names the mapping grid shows for the types the providers report, one each; codes no
// provider reports (adEmpty among them, which stands for "no field") have none.
TEST(FieldTypeName, NamesEveryCodeTheProvidersReportAndTheTwoDateCodes) {
    using namespace dao::adType;
    const std::pair<int, const char*> shown[] = {
        {SmallInt, "Small Integer"},
        {Integer, "Integer"},
        {Single, "Single"},
        {Double, "Double"},
        {Currency, "Currency"},
        {Date, "Date/Time"},
        {Boolean, "Yes/No"},
        {Decimal, "Decimal"},
        {UnsignedTinyInt, "Byte"},
        {BigInt, "Big Integer"},
        {GUID, "GUID"},
        {CalendarDate, "Date"},
        {TimeOfDay, "Time"},
        {Binary, "Binary"},
        {Numeric, "Numeric"},
        {DBTimeStamp, "DB Timestamp"},
        {VarChar, "VarChar"},
        {VarWChar, "Text"},
        {LongVarWChar, "Memo"},
        {VarBinary, "VarBinary"},
        {LongVarBinary, "Long Binary"},
        {0, "Not Defined"},
        {-1, "Not Defined"},
        {999, "Not Defined"},
    };
    for (const auto& [code, name] : shown) EXPECT_EQ(dao::FieldTypeName(code), name) << code;
    QStringList names;
    for (int code = -1; code < 1000; ++code)
        if (dao::FieldTypeName(code) != "Not Defined") names << dao::FieldTypeName(code);
    EXPECT_EQ(names.removeDuplicates(), 0);
}

dao::Recordset dateColumn(std::initializer_list<dao::Value> values) {
    dao::Recordset records({dao::FieldInfo{"d", dao::adType::Date, 8, 0, 0}});
    for (const dao::Value& v : values) records.appendRow(std::span<const dao::Value>(&v, 1));
    return records;
}

TEST(RefinedDateType, LooksAtTheFirstValueThatIsNotNull) {
    namespace t = dao::adType;
    const dao::Value null;
    const auto time = dao::Value::time(8, 15, 0);
    const auto stamp = dao::Value::dateTime({2024, 1, 15, 8, 15, 0, 0});
    const auto zeroDateStamp = dao::Value::dateTime({1899, 12, 30, 23, 59, 0, 0});
    EXPECT_EQ(RefinedDateType(dateColumn({null, stamp, time}), 0), t::CalendarDate);
    EXPECT_EQ(RefinedDateType(dateColumn({null, zeroDateStamp, stamp}), 0), t::TimeOfDay);
    EXPECT_EQ(RefinedDateType(dateColumn({null, null}), 0), t::Date);
}

// The estimate before a load covers what the load of a generated file really takes at its
// peak, without crying wolf: at most three times it. Short and long fields are the two ends
// of what a text file's table takes per byte of the file.
TEST(EstimatedLoadBytes, CoversTheLoadsPeakWithoutCryingWolf) {
    QTemporaryDir folder;
    struct Case {
        const char* name;
        QByteArray header, record;
    };
    const Case cases[] = {{"short.csv", "a,b,c,d,e\n", "1,2,3,4,5\n"},
                          {"long.csv", "id,name,price,day,code\n",
                           "123456,\"Kowalski, Jan\",1234.56,2024-01-15,00042\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray content = c.header;
        while (content.size() < 16 << 20) content += c.record;
        const QString path = writeFile(folder.filePath(c.name), content);
        QFile clearRefs("/proc/self/clear_refs");  // "5" starts the peak anew
        ASSERT_TRUE(clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1);
        clearRefs.close();
        const qint64 before = processStatusBytes("VmRSS:");
        auto records = dao::openConnection(SourceConnectionString(path, {}))
                           ->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(c.name));
        const qint64 taken = processStatusBytes("VmHWM:") - before;
        ASSERT_GT(records->recordCount(), 100000);
        const qint64 needed = EstimatedLoadBytes(path);
        EXPECT_GE(needed, taken);
        EXPECT_LE(needed, 3 * taken);
    }
}

// The main window, with a file opened as a user would and what the window shows of it.
class SourceWindowTest : public WindowFixture {
  protected:
    void open(const QString& path, const QString& password = {}) {
        textBox("txtSourceFileName")->setText(path);
        textBox("txtSourceFilePassword")->setText(password);
        button("cmdSourceConnect")->click();
    }
    QTableWidget* mappingGrid() { return control<QTableWidget>("grdFieldMappings"); }
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
    QString writeFile(const QString& name, const QByteArray& content) {
        return test::writeFile(folder.filePath(name), content);
    }

    // The source side as the user sees it closed (the file can be chosen) or open (a table).
    void expectOpen(bool open) {
        for (const char* name : {"txtSourceFileName", "cmdSourceBrowse", "cmdSourceConnect"})
            EXPECT_NE(control(name)->isEnabled(), open) << name;
        EXPECT_TRUE(button("cmdSourceClose")->isEnabled() == open &&
                    combo("cboSourceTable")->isEnabled() == open);
        EXPECT_TRUE(open || (combo("cboSourceTable")->count() == 0 &&
                             combo("cboSourceTable")->currentText() == "Select Source Data"));
    }
    // The one message a failed load shows, naming its line.
    void expectLoadError(const QString& detail = {}) {
        ASSERT_EQ(doubles.messages.shown.size(), 1);
        const auto& message = doubles.messages.shown.first();
        EXPECT_EQ(message.title, "Vostrel");
        EXPECT_TRUE(message.text.startsWith(
                        "An Error occured in [frmMain] (Sub) LoadDataSource : Line 180 - ") &&
                    message.text.contains(detail))
            << message.text.toStdString();
        EXPECT_FALSE(ws().state.bSourceLoaded);
    }
    void expectNoMessage() {
        EXPECT_TRUE(doubles.messages.shown.isEmpty())
            << doubles.messages.shown[0].text.toStdString();
    }

    // The record counter, the two buttons and the preview column of record `current` of three.
    void expectShown(int current) {
        const QStringList records[] = {{"1", "Anna", "1.5"}, {"2", "", ""}, {"3", "Cleo", "2.25"}};
        EXPECT_EQ(label("lblSample"), QString("Current Record:%1 of 3").arg(current));
        EXPECT_EQ(prevEnabled(), current > 1);
        EXPECT_EQ(nextEnabled(), current < 3);
        EXPECT_EQ(column(4), records[current - 1]);  // Nulls show empty
    }

    QTemporaryDir folder;
};

// One file of each kind: its tables are listed, a file of one table loads at once, others wait
// for a choice, and the chosen table's fields ("name:type"), their type codes and its records
// reach the window.
TEST_F(SourceWindowTest, EachKindListsItsTablesAndLoadsTheChosenOne) {
    const auto expectKind = [&](const QString& path, const QStringList& tables,
                                const QString& fieldList, const QList<int>& codes, int records) {
        SCOPED_TRACE(path.toStdString());
        if (button("cmdSourceClose")->isEnabled()) button("cmdSourceClose")->click();
        open("  " + path + "   ");  // blanks around the path do not count
        expectNoMessage();
        expectOpen(true);
        EXPECT_EQ(items("cboSourceTable"), tables);
        if (tables.size() > 1) {
            EXPECT_EQ(combo("cboSourceTable")->currentText(), "{Select Table}");
            EXPECT_EQ(mappingGrid()->rowCount(), 0);
            emit combo("cboSourceTable")->activated(-1);  // the prompt loads nothing
            EXPECT_FALSE(ws().state.bSourceLoaded);
            choose("cboSourceTable", tables.first());
        }
        ASSERT_TRUE(ws().state.bSourceLoaded);
        EXPECT_TRUE(control("grdSourceData")->isEnabled());
        EXPECT_EQ(label("grdSourceData_caption"),  // the last 50 characters of a longer path
                  path.size() > 50 ? "..." + path.right(50) : path);
        EXPECT_EQ(shownRecords(), records);
        EXPECT_EQ(label("lblSourceInfoData_0"), QString::number(records));
        const QStringList fields = fieldList.split('|');
        QStringList shown;
        for (int row = 0; row < fields.size(); ++row)
            shown << column(0)[row] + ':' + column(1)[row];
        EXPECT_EQ(shown, fields);
        EXPECT_EQ(column(2) + column(3), QStringList(2 * fields.size(), ""));
        EXPECT_EQ(ws().state.gSourceFieldNames, QStringList{""} + column(0));
        EXPECT_EQ(ws().state.gSourceFieldTypes, QList<int>{0} + codes);
        EXPECT_EQ(ws().PB->currentValue(), fields.size());
    };
    expectKind(writeFile("orders.csv", OrdersCsv), {"orders.csv"},
               "id:Integer|when:Date|name:Text|price:Double", {3, 122, 202, 5}, 3);
    expectKind(fixturePath("dbf/olemb__dbfread/people.dbf"), {"people.dbf"},
               "NAME:Char|BIRTHDATE:DB Date", {129, 133}, 2);
    expectKind(fixturePath("xls/tidyverse__readxl/types.xls"),
               {"guess_me$", "guess_max$", "smorgasbord$", "logical_coercion$", "date_coercion$",
                "numeric_coercion$", "text_coercion$"},
               "blank:Text|boolean:Yes/No|date:Date|numeric:Double|text:Text",
               {202, 11, 122, 5, 202}, 5);
    // What is not copied is said where the fields are listed.
    expectKind(fixturePath("accdb/jahlborn__jackcess/complexDataTestV2010.accdb"), {"Table1"},
               "id:Text|VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880:Memo (not copied: the "
               "version history of a memo field (its current value is copied))|memo-data:Memo|"
               "append-memo-data:Memo|multi-value-data:Memo|attach-data:Memo (the names of the "
               "attached files)",
               {202, 203, 203, 203, 203, 203}, 4);
    const QAbstractItemModel* grid = control<QTableView>("grdSourceData")->model();
    EXPECT_EQ(grid->index(1, 4).data().toString(), "value1; value4");
    // Sheets hidden or not, in workbook order; a chart sheet is a table of an .ods only.
    const QStringList sheets = {"Visible$", "Hidden$", "VeryHidden$"};
    expectKind(fixturePath("xlsx/tafia__calamine/any_sheets.xlsx"), sheets, "1:Text|2:Double",
               {202, 5}, 4);
    expectKind(fixturePath("ods/tafia__calamine/any_sheets.ods"), sheets + QStringList{"Chart$"},
               "1:Text|2:Double", {202, 5}, 4);
    expectKind(fixturePath("mdb/jahlborn__jackcess/testV1997.mdb"),
               {"Table1", "Table2", "Table3", "Table4"},
               "A:Text|B:Text|C:Byte|D:Small Integer|E:Integer|F:Double|G:Date|H:Currency|I:Yes/No",
               {202, 202, 17, 2, 3, 5, 122, 6, 11}, 2);
    // Another table of the open database replaces the first completely, even an empty one.
    choose("cboSourceTable", "Table3");
    EXPECT_EQ(column(0) + column(4), QStringList({"a", "b", "", ""}));
    EXPECT_EQ(label("lblSourceInfoData_0"), "0");
    next();
    EXPECT_EQ(label("lblSample"), "Current Record:0 of 0");
    EXPECT_FALSE(prevEnabled() || nextEnabled());
    expectNoMessage();
}

TEST_F(SourceWindowTest, OpenFailsSilentlyOnMissingOrUnsupportedFilesAndBrowsingOpensNothing) {
    for (const QString& path :
         {folder.filePath("missing.mdb"), folder.filePath("no such folder/orders.csv"),
          writeFile("book.xlsx", "PK\x03\x04 not a workbook this reader knows"),
          fixturePath("xls/okfn__messytables/encrypted_no_password.xls")}) {
        SCOPED_TRACE(path.toStdString());
        open(path);
        expectNoMessage();
        expectOpen(false);
        EXPECT_EQ(mappingGrid()->rowCount(), 0);
    }
    // Browsing asks for an existing file; Cancel keeps the path, and nothing opens.
    textBox("txtSourceFileName")->setText("/earlier/choice.mdb");
    button("cmdSourceBrowse")->click();
    EXPECT_EQ(textBox("txtSourceFileName")->text(), "/earlier/choice.mdb");
    doubles.files.queueAnswer(QStringLiteral("/data/shop.mdb"));
    button("cmdSourceBrowse")->click();
    EXPECT_EQ(textBox("txtSourceFileName")->text(), "/data/shop.mdb");
    expectOpen(false);  // browsing opens nothing
    EXPECT_EQ(doubles.files.calls.last().kind, "open");
    EXPECT_EQ(doubles.files.calls.last().request.initialFolder,
              QCoreApplication::applicationDirPath());
    // Every kind is among the supported files and has a line of its own.
    const QStringList filter = doubles.files.calls.last().request.filter.split('|');
    for (const char* pattern : {"*.mdb", "*.accdb", "*.xls", "*.xlsx", "*.xlsm", "*.ods"}) {
        EXPECT_TRUE(filter[1].split(';').contains(pattern) && filter.count(pattern) == 1)
            << pattern;
    }
}

// A text file is only read when its table loads: gone, or broken under the open source, it
// fails there with the message; repaired, the same table loads again.
TEST_F(SourceWindowTest, AFailingLoadShowsItsLineAndLeavesTheSourceNotLoaded) {
    open(folder.filePath("gone.csv"));
    expectOpen(true);
    EXPECT_EQ(items("cboSourceTable"), QStringList{"gone.csv"});
    expectLoadError("gone.csv");

    doubles.messages.shown.clear();
    writeFile("gone.csv", OrdersCsv);
    choose("cboSourceTable", "gone.csv");
    ASSERT_TRUE(ws().state.bSourceLoaded);
    writeFile("gone.csv", OrdersCsv + "4,2024-04-01,Cleo,3,surplus\n");
    choose("cboSourceTable", "gone.csv");
    expectLoadError();
    EXPECT_EQ(mappingGrid()->rowCount() + shownRecords(), 0);

    writeFile("gone.csv", OrdersCsv);
    choose("cboSourceTable", "gone.csv");
    EXPECT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_TRUE(ws().state.bSourceLoaded);
}

// Blank, the password is not sent; padded, it goes out with its blanks.
TEST_F(SourceWindowTest, TheDatabasePasswordIsSentOnlyWhenOneIsTyped) {
    const QString locked = fixturePath("mdb/andipaetzold__mdb-reader/V2000_with-password.mdb");
    for (const QString wrong : {"wrong", "   ", " password "}) {
        open(locked, wrong);
        expectOpen(false);
    }
    EXPECT_EQ(window->source()->sourcePasswordClause(),
              "Persist Security Info=False;Jet OLEDB:Database Password={ password }");
    open(locked, "password");
    EXPECT_EQ(label("lblSourceInfoData_0"), "3");
    EXPECT_EQ(window->source()->adoSourceData()->connectionString,
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + locked +
                  ";Persist Security Info=False;Jet OLEDB:Database Password=password");
    expectNoMessage();
}

// The sample buttons step through the records, also from past the last one. "Close" returns to the
// closed state, keeping the file's boxes and counts until the next load, and leaves the buttons as
// they were; a press then writes nothing and disables them.
TEST_F(SourceWindowTest, TheButtonsStepThroughTheRecordsUntilTheSourceCloses) {
    open(writeFile("three.csv", "id,name,price\n1,Anna,1.5\n2,,\n3,Cleo,2.25\n"), "kept");
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
    for (int button : {1, 0}) {  // a transfer leaves the records past the last one
        dao::Recordset* records = window->source()->adoSourceData()->recordset();
        records->moveLast();
        records->moveNext();
        button == 1 ? next() : prev();
        expectShown(3);
    }
    prev();
    button("cmdSourceClose")->click();
    expectOpen(false);
    EXPECT_FALSE(control("grdSourceData")->isEnabled());
    EXPECT_EQ(shownRecords() + mappingGrid()->rowCount(), 0);
    EXPECT_FALSE(ws().state.bSourceLoaded);
    EXPECT_EQ(ws().state.gSourceConnection, nullptr);
    EXPECT_EQ(QStringList({textBox("txtSourceFilePassword")->text(), label("lblSourceInfoData_0")}),
              QStringList({"kept", "3"}));
    ASSERT_TRUE(nextEnabled());
    next();
    EXPECT_EQ(mappingGrid()->rowCount(), 0);
    EXPECT_EQ(label("lblSample"), "Current Record:2 of 3");
    EXPECT_FALSE(prevEnabled() || nextEnabled());

    button("cmdSourceConnect")->click();  // the same file again
    EXPECT_EQ(mappingGrid()->rowCount(), 3);
    // Closing twice, or with nothing open, completes as well; so does closing the window.
    button("cmdSourceClose")->click();
    window->source()->CloseSource();
    expectOpen(false);
    button("cmdSourceConnect")->click();
    ASSERT_NE(ws().state.gSourceConnection, nullptr);
    window->close();
    EXPECT_EQ(ws().state.gSourceConnection, nullptr);
    EXPECT_FALSE(ws().state.bSourceLoaded);
    expectNoMessage();
}

// Preview and grid alike show values as the user's locale writes them.
TEST_F(SourceWindowTest, ValuesAreWrittenAsTheUsersLocaleWritesThem) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    open(writeFile("values.csv", "born,at,price\n1898-03-09,1899-12-30 13:35:38,2.25\n"));
    const QStringList expected = {"09.03.1898", dao::Value::time(13, 35, 38).displayText(), "2,25"};
    QStringList shown = column(4);  // the preview, then the grid
    const QAbstractItemModel* grid = control<QTableView>("grdSourceData")->model();
    for (int c = 0; c < 3; ++c) shown << grid->index(0, c).data().toString();
    QLocale::setDefault(before);
    EXPECT_EQ(shown, expected + expected);
}

// A table that would not fit in the memory left is loaded only when the user says so; the
// question names both sizes and the program that copies without loading. Cancel leaves no
// table loaded, not even the one loaded before.
TEST_F(SourceWindowTest, ATableThatWouldNotFitAsksBeforeLoadingAndCancelLoadsNothing) {
    const QString csv = writeFile("orders.csv", OrdersCsv);
    const qint64 needed = EstimatedLoadBytes(csv);
    ASSERT_GE(needed, OrdersCsv.size());
    const auto size = [](qint64 bytes) {
        return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    };
    struct Case {
        std::optional<qint64> available;
        bool asks, loads;  // the answer is "OK" when the table loads after the question
    };
    for (const Case& c : {Case{needed, false, true}, Case{std::nullopt, false, true},
                          Case{needed - 1, true, false}, Case{needed - 1, true, true}}) {
        SCOPED_TRACE(c.available.value_or(-1));
        // The table before is loaded with plenty of memory.
        if (!button("cmdSourceClose")->isEnabled()) open(csv);
        if (!ws().state.bSourceLoaded) choose("cboSourceTable", "orders.csv");
        doubles.messages.shown.clear();
        doubles.memory.available = c.available;
        if (c.asks)
            doubles.messages.queueAnswer(c.loads ? MessageAnswer::Ok : MessageAnswer::Cancel);
        choose("cboSourceTable", "orders.csv");
        doubles.memory.available = qint64(64) << 30;
        ASSERT_EQ(doubles.messages.shown.size(), c.asks ? 1 : 0);
        const QString text = c.asks ? doubles.messages.shown[0].text : QString();
        EXPECT_TRUE(!c.asks || (text.contains(size(needed)) && text.contains(size(needed - 1)) &&
                                text.contains("keldara-cli") && text.contains("\"orders.csv\"")))
            << text.toStdString();
        EXPECT_EQ(ws().state.bSourceLoaded, c.loads);
        EXPECT_EQ(control<dao::DataControl>("adoSourceData")->recordset() != nullptr, c.loads);
        EXPECT_EQ(shownRecords() + mappingGrid()->rowCount(), c.loads ? 3 + 4 : 0);
    }
}

}  // namespace
}  // namespace keldara::test
