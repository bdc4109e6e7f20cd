#include <QFile>
#include <QFileInfo>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Memory.h"
#include "platform/dao/Providers.h"
#include "platform/dao/SelectStatement.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/excel/Workbook.h"
#include "platform/dao/ods/OdsSpreadsheet.h"
#include "platform/dao/sheet/SheetError.h"
#include "platform/dao/sheet/SheetTable.h"
#include "platform/dao/xlsx/XlsxWorkbook.h"

namespace keldara::dao {

namespace {

// Workbooks are read whole into memory; this is far above any real .xls file.
constexpr qint64 kLargestWorkbook = qint64{2} << 30;

// The kinds of workbook this provider reads, told apart by the connection string's Extended
// Properties as Excel's own drivers do: "Excel 8.0" (and older) for .xls, "Excel 12.0 Xml"
// or "Excel 12.0 Macro" for .xlsx and .xlsm, "OpenDocument Spreadsheet" for .ods.
enum class WorkbookFormat { Xls, Xlsx, Ods };

WorkbookFormat formatOf(const ConnectionString& cs) {
    const QString extended = cs.valueOr(QStringLiteral("Extended Properties")).trimmed();
    if (extended.startsWith(QLatin1String("Excel 12.0"), Qt::CaseInsensitive))
        return WorkbookFormat::Xlsx;
    if (extended.startsWith(QLatin1String("OpenDocument"), Qt::CaseInsensitive))
        return WorkbookFormat::Ods;
    return WorkbookFormat::Xls;
}

QString formatDescription(WorkbookFormat format) {
    switch (format) {
        case WorkbookFormat::Xlsx:
            return QStringLiteral("an Excel 2007 or later workbook");
        case WorkbookFormat::Ods:
            return QStringLiteral("an OpenDocument spreadsheet");
        case WorkbookFormat::Xls:
            break;
    }
    return QStringLiteral("an Excel 97-2003 workbook");
}

// A sheet as a query names it: 'Name$' or Name$, in any letter case.
QString sheetNameOfTable(const QString& table) {
    QString name = table.trimmed();
    if (name.size() >= 2 && name.startsWith(QLatin1Char('\'')) &&
        name.endsWith(QLatin1Char('\''))) {
        name = name.mid(1, name.size() - 2);
        name.replace(QLatin1String("''"), QLatin1String("'"));
    }
    if (!name.endsWith(QLatin1Char('$'))) return {};
    name.chop(1);
    return name;
}

class ExcelConnection : public Connection {
  public:
    void open(const QString& connectionString) override {
        if (workbook_) {
            throw DaoError(DaoError::General,
                           QStringLiteral("The connection to '%1' is already open.").arg(path_));
        }
        const ConnectionString cs = ConnectionString::parse(connectionString);
        const QString path = cs.valueOr(QStringLiteral("Data Source"));
        if (path.isEmpty()) {
            throw DaoError(
                DaoError::OpenFailed,
                QStringLiteral("The connection string names no workbook (Data Source)."));
        }
        format_ = formatOf(cs);
        workbook_ = loadWorkbook(path, format_);
        path_ = path;
    }

    bool isOpen() const override { return workbook_ != nullptr; }

    void close() override {
        requireOpen();
        workbook_.reset();
    }

    void execute(const QString& sql) override {
        requireOpen();
        throw DaoError(
            DaoError::BadQuery,
            QStringLiteral("The workbook '%1' is read-only; the statement was not run: %2")
                .arg(path_, sql));
    }

    std::unique_ptr<Recordset> openTableCatalogue() override {
        requireOpen();
        auto catalogue = std::make_unique<Recordset>(
            std::vector<FieldInfo>{{QStringLiteral("TABLE_NAME"), adType::VarWChar, 255},
                                   {QStringLiteral("TABLE_TYPE"), adType::VarWChar, 255}});
        for (const QString& sheet : readingTheWorkbook([&] { return workbook_->sheetNames(); })) {
            const Value row[] = {Value::text(sheet::sheetTableName(sheet)),
                                 Value::text(QStringLiteral("TABLE"))};
            catalogue->appendRow(row);
        }
        return catalogue;
    }

    std::unique_ptr<Recordset> openRecordset(const QString& sql) override {
        const sheet::SheetBook::NamedSheet sheet = sheetOfQuery(sql);
        try {
            return sheet::sheetRecordset(*workbook_, sheet.index);
        } catch (const sheet::FormatError&) {
            throwUnreadableSheet(path_, sheet.name);
        }
    }

    std::unique_ptr<Recordset> openStreamedRecordset(const QString& sql, long keepRows) override {
        const sheet::SheetBook::NamedSheet sheet = sheetOfQuery(sql);
        const auto rethrow = [path = path_, name = sheet.name] {
            throwUnreadableSheet(path, name);
        };
        try {
            return sheet::streamSheetRecordset(workbook_, sheet.index, keepRows, rethrow);
        } catch (const sheet::FormatError&) {
            throwUnreadableSheet(path_, sheet.name);
        }
    }

  private:
    sheet::SheetBook::NamedSheet sheetOfQuery(const QString& sql) const {
        requireOpen();
        const std::optional<QString> table = tableOfSelectAll(sql);
        if (!table) {
            throw DaoError(DaoError::BadQuery,
                           QStringLiteral("The workbook '%1' answers only SELECT * FROM [sheet$]; "
                                          "this statement is not supported: %2")
                               .arg(path_, sql));
        }
        return findSheet(*table);
    }

    // Called in the catch block of a sheet::FormatError: the error naming the sheet.
    [[noreturn]] static void throwUnreadableSheet(const QString& path, const QString& sheet) {
        try {
            throw;
        } catch (const sheet::FormatError& error) {
            throw DaoError(DaoError::BadFile,
                           QStringLiteral("The sheet '%1' of the workbook '%2' cannot be read: %3.")
                               .arg(sheet, path, error.reason()));
        }
    }

    static DaoError unreadableFile(const QString& path, WorkbookFormat format,
                                   const sheet::FormatError& error) {
        return DaoError(DaoError::BadFile,
                        QStringLiteral("The file '%1' cannot be read as %2: %3.")
                            .arg(path, formatDescription(format), error.reason()));
    }

    // What `read` finds of the workbook's structure after it was opened (an .ods file's
    // table list is read only when it is needed).
    template <typename Read>
    auto readingTheWorkbook(const Read& read) const -> decltype(read()) {
        try {
            return read();
        } catch (const sheet::FormatError& error) {
            throw unreadableFile(path_, format_, error);
        }
    }

    // The file as it is now; a file shortened meanwhile gives the bytes it still has.
    static QByteArray readWhole(QFile& file, const QString& path) {
        QByteArray bytes(file.size(), Qt::Uninitialized);
        prepareForFilling(bytes.data(), static_cast<std::size_t>(bytes.size()));
        qint64 done = 0;
        while (done < bytes.size()) {
            const qint64 got = file.read(bytes.data() + done, bytes.size() - done);
            if (got < 0) {
                throw DaoError(DaoError::BadFile, QStringLiteral("The workbook '%1' cannot be "
                                                                 "read: %2.")
                                                      .arg(path, file.errorString()));
            }
            if (got == 0) break;
            done += got;
        }
        bytes.truncate(done);
        return bytes;
    }

    static std::unique_ptr<sheet::SheetBook> loadWorkbook(const QString& path,
                                                          WorkbookFormat format) {
        QFile file(path);
        const QFileInfo info(path);
        if (!info.exists() || info.isDir()) {
            throw DaoError(DaoError::OpenFailed,
                           QStringLiteral("The workbook '%1' does not exist.").arg(path));
        }
        if (info.size() > kLargestWorkbook) {
            throw DaoError(
                DaoError::BadFile,
                QStringLiteral("The file '%1' is too large to be an Excel workbook.").arg(path));
        }
        if (!file.open(QIODevice::ReadOnly)) {
            throw DaoError(DaoError::OpenFailed, QStringLiteral("The workbook '%1' cannot be "
                                                                "opened: %2.")
                                                     .arg(path, file.errorString()));
        }
        try {
            if (format == WorkbookFormat::Xlsx) return xlsx::openXlsxWorkbook(path);
            if (format == WorkbookFormat::Ods) return ods::openOdsSpreadsheet(path);
            // The workbook keeps these bytes when its stream lies in one piece in the file.
            return xls::Workbook::load(readWhole(file, path), info.completeBaseName());
        } catch (const sheet::EncryptedWorkbook&) {
            throw DaoError(DaoError::BadFile,
                           QStringLiteral("The workbook '%1' is encrypted (protected by a "
                                          "password to open) and cannot be read.")
                               .arg(path));
        } catch (const sheet::FormatError& error) {
            throw unreadableFile(path, format, error);
        }
    }

    sheet::SheetBook::NamedSheet findSheet(const QString& table) const {
        const QString wanted = sheetNameOfTable(table);
        if (!wanted.isNull()) {
            if (auto sheet = readingTheWorkbook([&] { return workbook_->findSheet(wanted); }))
                return *sheet;
        }
        throw DaoError(DaoError::NoSuchTable,
                       QStringLiteral("The workbook '%1' has no worksheet '%2' (sheets are named "
                                      "with a trailing $, as in [Sheet1$]; cell ranges are not "
                                      "supported).")
                           .arg(path_, table));
    }

    void requireOpen() const {
        if (!workbook_) {
            throw DaoError(DaoError::NotOpen,
                           QStringLiteral("Operation is not allowed when the object is closed."));
        }
    }

    QString path_;
    WorkbookFormat format_ = WorkbookFormat::Xls;
    std::shared_ptr<const sheet::SheetBook> workbook_;
};

}  // namespace

std::unique_ptr<Connection> makeExcelConnection() {
    return std::make_unique<ExcelConnection>();
}

}  // namespace keldara::dao
