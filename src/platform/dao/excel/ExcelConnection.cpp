#include <QFile>
#include <QFileInfo>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Memory.h"
#include "platform/dao/Providers.h"
#include "platform/dao/SelectStatement.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/excel/SheetTable.h"
#include "platform/dao/excel/Workbook.h"
#include "platform/dao/excel/XlsError.h"

namespace keldara::dao {

namespace {

// Workbooks are read whole into memory; this is far above any real .xls file.
constexpr qint64 kLargestWorkbook = qint64{2} << 30;

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
        const QString path =
            ConnectionString::parse(connectionString).valueOr(QStringLiteral("Data Source"));
        if (path.isEmpty()) {
            throw DaoError(
                DaoError::OpenFailed,
                QStringLiteral("The connection string names no workbook (Data Source)."));
        }
        workbook_ = loadWorkbook(path);
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
        for (const xls::Worksheet& sheet : workbook_->worksheets()) {
            const Value row[] = {Value::text(xls::sheetTableName(sheet.name)),
                                 Value::text(QStringLiteral("TABLE"))};
            catalogue->appendRow(row);
        }
        return catalogue;
    }

    std::unique_ptr<Recordset> openRecordset(const QString& sql) override {
        requireOpen();
        const std::optional<QString> table = tableOfSelectAll(sql);
        if (!table) {
            throw DaoError(DaoError::BadQuery,
                           QStringLiteral("The workbook '%1' answers only SELECT * FROM [sheet$]; "
                                          "this statement is not supported: %2")
                               .arg(path_, sql));
        }
        const std::size_t sheet = findSheet(*table);
        try {
            return xls::sheetRecordset(*workbook_, sheet);
        } catch (const xls::FormatError& error) {
            throw DaoError(DaoError::BadFile,
                           QStringLiteral("The sheet '%1' of the workbook '%2' cannot be read: %3.")
                               .arg(workbook_->worksheets()[sheet].name, path_, error.reason()));
        }
    }

  private:
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

    static std::unique_ptr<xls::Workbook> loadWorkbook(const QString& path) {
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
        // The workbook keeps these bytes when its stream lies in one piece in the file.
        const QByteArray bytes = readWhole(file, path);
        try {
            return xls::Workbook::load(bytes, info.completeBaseName());
        } catch (const xls::EncryptedWorkbook&) {
            throw DaoError(DaoError::BadFile,
                           QStringLiteral("The workbook '%1' is encrypted (protected by a "
                                          "password to open) and cannot be read.")
                               .arg(path));
        } catch (const xls::FormatError& error) {
            throw DaoError(DaoError::BadFile,
                           QStringLiteral("The file '%1' cannot be read as an Excel 97-2003 "
                                          "workbook: %2.")
                               .arg(path, error.reason()));
        }
    }

    std::size_t findSheet(const QString& table) const {
        const QString wanted = sheetNameOfTable(table);
        const auto& sheets = workbook_->worksheets();
        for (std::size_t i = 0; i < sheets.size() && !wanted.isNull(); ++i) {
            if (sheets[i].name.compare(wanted, Qt::CaseInsensitive) == 0) return i;
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
    std::unique_ptr<xls::Workbook> workbook_;
};

}  // namespace

std::unique_ptr<Connection> makeExcelConnection() {
    return std::make_unique<ExcelConnection>();
}

}  // namespace keldara::dao
