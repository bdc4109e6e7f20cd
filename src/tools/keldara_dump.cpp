// keldara-dump: prints what a provider reads, for checking it against independent readers.
//   keldara-dump "<connection string>"            the table catalogue, one name per line
//   keldara-dump "<connection string>" "<table>"  the whole table, tab-separated
//   keldara-dump --file PATH [TABLE]              the same for a source file, its connection
//                                                 string and tables as the window has them
#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <cstdio>

#include "platform/dao/Connection.h"
#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "source/SourceFiles.h"

using namespace keldara::dao;

namespace {

QString cellText(const Value& value) {
    QString text = value.sqlLiteral();
    text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return text;
}

void printSourceTables(Connection& connection, const QString& path, QTextStream& out) {
    const auto catalogue = connection.openTableCatalogue();
    for (const QString& name : keldara::source::SourceTableNames(path, *catalogue)) {
        out << name << '\n';
    }
}

void printCatalogue(Connection& connection, QTextStream& out) {
    auto catalogue = connection.openTableCatalogue();
    int nameColumn = 0;
    for (int i = 0; i < catalogue->fieldCount(); ++i) {
        if (catalogue->fieldInfo(i).name == QLatin1String("TABLE_NAME")) nameColumn = i;
    }
    for (long row = 0; row < catalogue->recordCount(); ++row) {
        out << catalogue->valueAt(row, nameColumn).standardText() << '\n';
    }
}

// The source providers take the bracketed name; MySQL quotes names with backticks.
QString selectAll(const QString& connectionString, QString table) {
    if (chooseProvider(ConnectionString::parse(connectionString)) == ProviderKind::MySql) {
        return QStringLiteral("SELECT * FROM `") +
               table.replace(QLatin1Char('`'), QLatin1String("``")) + QLatin1Char('`');
    }
    return QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']');
}

void printTable(Connection& connection, const QString& sql, QTextStream& out) {
    auto records = connection.openRecordset(sql);
    QStringList names, types, sizes;
    for (int i = 0; i < records->fieldCount(); ++i) {
        const FieldInfo& info = records->fieldInfo(i);
        names << cellText(Value::text(info.name));
        types << QString::number(info.type);
        sizes << QString::number(info.definedSize);
    }
    out << names.join(QLatin1Char('\t')) << '\n'
        << types.join(QLatin1Char('\t')) << '\n'
        << sizes.join(QLatin1Char('\t')) << '\n';
    QStringList cells;
    for (long row = 0; row < records->recordCount(); ++row) {
        cells.clear();
        for (int column = 0; column < records->fieldCount(); ++column) {
            cells << cellText(records->valueAt(row, column));
        }
        out << cells.join(QLatin1Char('\t')) << '\n';
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    const bool fromFile = args.size() > 1 && args[1] == QLatin1String("--file");
    if (fromFile) args.removeAt(1);
    if (args.size() < 2 || args.size() > 3) {
        std::fputs(
            "usage: keldara-dump \"<connection string>\" [\"<table>\"]\n"
            "       keldara-dump --file PATH [TABLE]\n",
            stderr);
        return 2;
    }
    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    try {
        const QString connectionString =
            fromFile ? keldara::source::SourceConnectionString(args[1], {}) : args[1];
        auto connection = openConnection(connectionString);
        if (args.size() == 3) {
            printTable(*connection, selectAll(connectionString, args[2]), out);
        } else if (fromFile) {
            printSourceTables(*connection, args[1], out);
        } else {
            printCatalogue(*connection, out);
        }
    } catch (const DaoError& error) {
        out.flush();
        std::fprintf(stderr, "keldara-dump: error %d: %s\n", error.number(),
                     error.description().toUtf8().constData());
        return 1;
    }
    return 0;
}
