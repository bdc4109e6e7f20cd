#include "source/SourceFiles.h"

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"

namespace keldara::source {

namespace {

qsizetype lastSeparator(const QString& path) {
    return std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
}

// "C:\" and "\" (or "/") are roots: their separator belongs to the folder.
bool separatorEndsRoot(const QString& path, qsizetype separator) {
    if (separator == 0) return true;
    return separator == 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter();
}

int columnNamed(const dao::Recordset& records, const QString& name) {
    for (int i = 0; i < records.fieldCount(); ++i) {
        if (records.fieldInfo(i).name.compare(name, Qt::CaseInsensitive) == 0) return i;
    }
    throw dao::DaoError(dao::DaoError::General,
                        QStringLiteral("The table catalogue has no column %1.").arg(name));
}

bool isTimeOfDayOnly(const dao::Value& value) {
    if (value.kind() == dao::ValueKind::Time) return true;
    if (!value.isDateLike()) return false;
    const dao::DateTime& dt = value.toDateTime();
    return dt.year == 1899 && dt.month == 12 && dt.day == 30;
}

// The folder of a text or dBase file, which its connection string names: "." (the current
// folder) for a file name without one.
QString folderOfFile(const QString& path) {
    const QString parent = ParentFolderName(path);
    return parent.isEmpty() ? QStringLiteral(".") : parent;
}

bool isWorkbookKind(const QString& kind) {
    for (const char* workbook : {"xls", "xlsx", "xlsm", "ods"}) {
        if (kind == QLatin1String(workbook)) return true;
    }
    return false;
}

}  // namespace

QString SourceFileKind(const QString& path) {
    const QString lower = path.toLower();
    for (const QLatin1String longer :
         {QLatin1String("xlsx"), QLatin1String("xlsm"), QLatin1String("accdb")}) {
        if (lower.endsWith(QLatin1Char('.') + longer)) return longer;
    }
    return lower.right(3);
}

QString ParentFolderName(const QString& path) {
    const qsizetype separator = lastSeparator(path);
    if (separator < 0) return {};
    return path.left(separatorEndsRoot(path, separator) ? separator + 1 : separator);
}

QString FileNameOfPath(const QString& path) {
    return path.mid(lastSeparator(path) + 1);
}

QString SourcePasswordClause(const QString& typedPassword) {
    if (typedPassword.trimmed().isEmpty()) return {};
    return QStringLiteral("Persist Security Info=False;Jet OLEDB:Database Password=") +
           dao::braceQuoteIfNeeded(typedPassword);
}

QString SourceConnectionString(const QString& path, const QString& passwordClause) {
    using dao::braceQuoteIfNeeded;
    const QString kind = SourceFileKind(path);
    QString s = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;");
    if (kind == QLatin1String("accdb")) s = QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;");
    if (kind == QLatin1String("mdb") || kind == QLatin1String("accdb")) {
        s += QStringLiteral("Data Source=") + braceQuoteIfNeeded(path) + QLatin1Char(';') +
             passwordClause;
    } else if (kind == QLatin1String("xls")) {
        s += QStringLiteral("Data Source=") + braceQuoteIfNeeded(path) +
             QStringLiteral(";Extended Properties=Excel 8.0;");
    } else if (kind == QLatin1String("xlsx") || kind == QLatin1String("xlsm")) {
        s += QStringLiteral("Data Source=") + braceQuoteIfNeeded(path) +
             (kind == QLatin1String("xlsx")
                  ? QStringLiteral(";Extended Properties=\"Excel 12.0 Xml;\"")
                  : QStringLiteral(";Extended Properties=\"Excel 12.0 Macro;\""));
    } else if (kind == QLatin1String("ods")) {
        s += QStringLiteral("Data Source=") + braceQuoteIfNeeded(path) +
             QStringLiteral(";Extended Properties=\"OpenDocument Spreadsheet;\"");
    } else if (kind == QLatin1String("txt") || kind == QLatin1String("csv")) {
        s += QStringLiteral("Data Source=") +
             braceQuoteIfNeeded(folderOfFile(path) + QLatin1Char('\\')) +
             QStringLiteral(";Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"");
    } else if (kind == QLatin1String("dbf")) {
        s = QStringLiteral("Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=") +
            braceQuoteIfNeeded(folderOfFile(path));
    }
    return s;
}

std::unique_ptr<dao::Connection> OpenSourceConnection(const QString& path,
                                                      const QString& passwordClause) {
    return dao::openConnection(SourceConnectionString(path, passwordClause));
}

QStringList SourceTableNames(const QString& path, const dao::Recordset& catalogue) {
    const QString kind = SourceFileKind(path);
    if (kind == QLatin1String("csv") || kind == QLatin1String("txt") ||
        kind == QLatin1String("dbf")) {
        return {FileNameOfPath(path)};
    }
    QStringList names;
    if (catalogue.recordCount() > 0) {
        const int column = columnNamed(catalogue, QStringLiteral("TABLE_NAME"));
        for (long row = 0; row < catalogue.recordCount(); ++row) {
            const QString name = catalogue.valueAt(row, column).displayText();
            if (isWorkbookKind(kind) && name.contains(QLatin1String("Database"))) continue;
            names.append(name);
        }
    }
    if (names.isEmpty()) {
        throw dao::DaoError(dao::DaoError::NoSuchTable,
                            QStringLiteral("%1 holds no table that can be loaded.").arg(path));
    }
    return names;
}

QString SourceGridCaption(const QString& path) {
    if (path.size() <= 50) return path;
    return QStringLiteral("...") + path.right(50);
}

int RefinedDateType(const dao::Recordset& records, int field) {
    for (long row = 0; row < records.recordCount(); ++row) {
        const dao::Value value = records.valueAt(row, field);
        if (value.isNull()) continue;
        return isTimeOfDayOnly(value) ? dao::adType::TimeOfDay : dao::adType::CalendarDate;
    }
    return dao::adType::Date;
}

QString SampleLabelText(long position, long count) {
    return QStringLiteral("Current Record:%1 of %2").arg(position).arg(count);
}

}  // namespace keldara::source
