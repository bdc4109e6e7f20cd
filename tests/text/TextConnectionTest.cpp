#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <functional>

#include "TextTestSupport.h"
#include "platform/dao/DaoError.h"

namespace keldara::test::text {
namespace {

using dao::DaoError;
using dao::Value;

// The DaoError `action` throws; fails the test when it throws none.
DaoError errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DaoError& error) {
        return error;
    }
    ADD_FAILURE() << "no error";
    return DaoError(0, QString());
}

class TextConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override { writeBytes(path("orders.csv"), "id,item\n1,pen\n2,ink\n"); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    std::unique_ptr<dao::Connection> open(const QString& properties = kProperties,
                                          const QString& folder = {}) {
        return dao::openConnection(
            textConnectionString((folder.isEmpty() ? dir_.path() : folder) + '\\', properties));
    }
    static std::unique_ptr<dao::Recordset> read(dao::Connection& connection, const QString& table) {
        return connection.openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(table));
    }
    static inline const QString kProperties = QStringLiteral("text;HDR=Yes;FMT=Delimited;");
    QTemporaryDir dir_;
};

TEST_F(TextConnectionTest, OpensTheFolderAndFindsTablesByNameWhateverTheirCase) {
    for (const QString& source : {dir_.path() + '\\', dir_.path() + '/', dir_.path()}) {
        auto connection = dao::openConnection(textConnectionString(source));
        EXPECT_EQ(read(*connection, "orders.csv")->recordCount(), 2) << source.toStdString();
    }
    auto connection = open();
    for (const char* name : {"ORDERS.CSV", "orders#csv", "Orders#CSV"}) {
        EXPECT_EQ(read(*connection, name)->valueAt(1, 1), Value::text("ink")) << name;
    }
}

TEST_F(TextConnectionTest, RefusalsSayWhatWasRefused) {
    auto connection = open();
    QDir(dir_.path()).mkdir(QStringLiteral("inner"));
    auto inner = open(kProperties, path("inner"));
    const struct {
        std::function<void()> action;
        int number;  // 0: any error
        QStringList mentions = {};
    } refusals[] = {
        {[&] { open(kProperties, path("no such folder")); },
         DaoError::OpenFailed,
         {path("no such folder")}},
        {[&] { dao::openConnection(textConnectionString(path("orders.csv"))); },
         DaoError::OpenFailed,
         {"not a folder"}},
        {[&] { dao::openConnection(textConnectionString("\\")); }, DaoError::OpenFailed},
        {[&] { open("text;HDR=Yes;FMT=FixedLength;"); }, DaoError::OpenFailed},
        {[&] { read(*connection, "missing.csv"); },
         DaoError::NoSuchTable,
         {"missing.csv", QDir(dir_.path()).absolutePath()}},
        {[&] { connection->openRecordset("SELECT id FROM [orders.csv]"); }, DaoError::BadQuery},
        {[&] { connection->execute("DELETE FROM [orders.csv]"); }, DaoError::BadQuery},
        // Tables are files of the folder only.
        {[&] { read(*inner, "../orders.csv"); }, 0},
        {[&] { read(*inner, "..\\orders.csv"); }, 0},
        {[&] { read(*inner, ".."); }, 0},
        {[&] { read(*inner, ""); }, 0},
    };
    for (std::size_t i = 0; i < std::size(refusals); ++i) {
        const DaoError error = errorOf(refusals[i].action);
        EXPECT_TRUE(refusals[i].number == 0 ? error.number() != 0
                                            : error.number() == refusals[i].number)
            << "refusal " << i << ": " << error.number();
        for (const QString& part : refusals[i].mentions) {
            EXPECT_TRUE(error.description().contains(part))
                << "refusal " << i << ": " << error.description().toStdString();
        }
    }
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    for (const auto& action : std::initializer_list<std::function<void()>>{
             [&] { connection->close(); }, [&] { connection->openTableCatalogue(); },
             [&] { read(*connection, "orders.csv"); }}) {
        EXPECT_EQ(errorOf(action).number(), DaoError::NotOpen);
    }
    connection->open(textConnectionString(dir_.path()));
    EXPECT_EQ(read(*connection, "orders.csv")->recordCount(), 2);
}

TEST_F(TextConnectionTest, CatalogueListsTheTextFilesByName) {
    for (const char* name : {"b.txt", "A.tsv", "Z.CSV", "book.xls"}) writeBytes(path(name), "x\n");
    writeBytes(path("damaged.csv"), "a,\"never closed\n");
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.csv")));
    const auto catalogue = open()->openTableCatalogue();
    ASSERT_EQ(fieldNames(*catalogue), QStringList({"TABLE_NAME"}));
    QStringList names;
    for (long r = 0; r < catalogue->recordCount(); ++r) names << catalogue->valueAt(r, 0).toText();
    EXPECT_EQ(names, QStringList({"A.tsv", "b.txt", "damaged.csv", "orders.csv", "Z.CSV"}));
    QTemporaryDir empty;
    EXPECT_EQ(open(kProperties, empty.path())->openTableCatalogue()->recordCount(), 0);
}

TEST_F(TextConnectionTest, ExtendedPropertiesChooseHeaderAndDelimiter) {
    writeBytes(path("semi.csv"), "a;b\n1;x\n");
    writeBytes(path("tabs.csv"), "a\tb\n1\tx\n");
    for (const auto& [properties, file] :
         {std::pair{"text;HDR=Yes;FMT=Delimited(;);", "semi.csv"},
          std::pair{"text;HDR=Yes;FMT=TabDelimited;", "tabs.csv"}}) {
        EXPECT_EQ(fieldNames(*read(*open(properties), file)), QStringList({"a", "b"})) << file;
    }
    const auto noHeader = read(*open("text;HDR=No;FMT=Delimited;"), "orders.csv");
    EXPECT_EQ(fieldNames(*noHeader), QStringList({"F1", "F2"}));
    EXPECT_EQ(noHeader->recordCount(), 3);
    EXPECT_EQ(noHeader->valueAt(0, 0), Value::text(QStringLiteral("id")));
}

}  // namespace
}  // namespace keldara::test::text
