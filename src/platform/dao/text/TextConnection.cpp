#include <QDir>
#include <QFileInfo>
#include <optional>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"
#include "platform/dao/SelectStatement.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/text/TextTable.h"

namespace keldara::dao {

namespace {

using text::TextTableOptions;

// Splits Extended Properties into its "key=value" parts at ";", except that the delimiter
// of "FMT=Delimited(;)" may itself be a ";".
QStringList propertyParts(const QString& properties) {
    QStringList parts;
    QString part;
    for (qsizetype i = 0; i < properties.size(); ++i) {
        const QChar c = properties[i];
        if (c == QLatin1Char(';') && !part.endsWith(QLatin1Char('('))) {
            parts.append(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.append(part);
    return parts;
}

std::optional<char> delimiterOfFormat(const QString& format) {
    if (format.compare(QLatin1String("TabDelimited"), Qt::CaseInsensitive) == 0) return '\t';
    if (format.compare(QLatin1String("CSVDelimited"), Qt::CaseInsensitive) == 0) return ',';
    if (format.compare(QLatin1String("Delimited"), Qt::CaseInsensitive) == 0) return std::nullopt;
    const bool oneCharacter = format.size() == 12 &&
                              format.startsWith(QLatin1String("Delimited("), Qt::CaseInsensitive) &&
                              format.endsWith(QLatin1Char(')'));
    const char16_t c = oneCharacter ? format[10].unicode() : 0;
    if (c != 0 && c < 0x80 && c != u'"' && c != u'\n' && c != u'\r') return static_cast<char>(c);
    throw DaoError(
        DaoError::OpenFailed,
        QStringLiteral("The text format \"%1\" is not supported; use FMT=Delimited.").arg(format));
}

// The options of Extended Properties ("text;HDR=Yes;FMT=Delimited;").
TextTableOptions parseExtendedProperties(const QString& properties) {
    TextTableOptions options;
    for (const QString& part : propertyParts(properties)) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        const QString key = part.left(eq).trimmed();
        const QString value = part.mid(eq + 1).trimmed();
        if (key.compare(QLatin1String("HDR"), Qt::CaseInsensitive) == 0) {
            options.headerRow = value.compare(QLatin1String("No"), Qt::CaseInsensitive) != 0;
        } else if (key.compare(QLatin1String("FMT"), Qt::CaseInsensitive) == 0) {
            options.delimiter = delimiterOfFormat(value);
        }
    }
    return options;
}

// The folder of "Data Source", which ends in a "\" by the Windows custom; trailing "\" and
// "/" are dropped unless only the path as written is a folder.
QString folderOf(const QString& dataSource) {
    QString folder = dataSource;
    while (!folder.isEmpty() && (folder.endsWith(QLatin1Char('\\')) ||
                                 (folder.endsWith(QLatin1Char('/')) && folder.size() > 1))) {
        folder.chop(1);
    }
    if (!QFileInfo(folder).isDir() && QFileInfo(dataSource).isDir()) return dataSource;
    return folder;
}

bool isTextFileName(const QString& name) {
    return name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".tsv"), Qt::CaseInsensitive);
}

class TextConnection final : public Connection {
  public:
    void open(const QString& connectionString) override {
        if (open_) {
            throw DaoError(DaoError::General,
                           QStringLiteral("Operation is not allowed when the object is open."));
        }
        const ConnectionString cs = ConnectionString::parse(connectionString);
        const QString dataSource = cs.valueOr(QStringLiteral("Data Source"));
        const TextTableOptions options =
            parseExtendedProperties(cs.valueOr(QStringLiteral("Extended Properties")));
        const QString folder = folderOf(dataSource);
        if (folder.isEmpty()) {
            throw DaoError(DaoError::OpenFailed,
                           QStringLiteral("The connection string names no folder of text files "
                                          "(Data Source is \"%1\").")
                               .arg(dataSource));
        }
        const QFileInfo info(folder);
        if (!info.isDir()) {
            throw DaoError(DaoError::OpenFailed,
                           info.exists()
                               ? QStringLiteral("\"%1\" is not a folder; a text source names the "
                                                "folder that holds its files.")
                                     .arg(folder)
                               : QStringLiteral("The folder \"%1\" does not exist.").arg(folder));
        }
        folder_ = info.absoluteFilePath();
        options_ = options;
        open_ = true;
    }

    bool isOpen() const override { return open_; }

    void close() override {
        requireOpen();
        open_ = false;
        folder_.clear();
    }

    void execute(const QString& sql) override {
        requireOpen();
        throw DaoError(DaoError::BadQuery,
                       QStringLiteral("The text files of \"%1\" are read only; the statement "
                                      "\"%2\" cannot be run.")
                           .arg(folder_, sql));
    }

    std::unique_ptr<Recordset> openTableCatalogue() override {
        requireOpen();
        QStringList files = QDir(folder_).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
        files.removeIf([](const QString& file) { return !isTextFileName(file); });
        return tableCatalogue(files);
    }

    std::unique_ptr<Recordset> openRecordset(const QString& sql) override {
        return text::readTextTable(pathOfQuery(sql), options_);
    }

    std::unique_ptr<Recordset> openStreamedRecordset(const QString& sql, long keepRows) override {
        return text::streamTextTable(pathOfQuery(sql), options_, keepRows);
    }

  private:
    void requireOpen() const {
        if (!open_) {
            throw DaoError(DaoError::NotOpen,
                           QStringLiteral("Operation is not allowed when the object is closed."));
        }
    }

    QString pathOfQuery(const QString& sql) const {
        requireOpen();
        const auto table = tableOfSelectAll(sql);
        if (!table) {
            throw DaoError(DaoError::BadQuery,
                           QStringLiteral("The text provider reads whole files only (\"SELECT * "
                                          "FROM [file name]\"), not \"%1\".")
                               .arg(sql));
        }
        return pathOfTable(*table);
    }

    // The file of the folder that a table name means: the exact name, else the one name
    // that matches it regardless of letter case (as on Windows), also with "#" for the
    // last "." as the catalogues of Windows name text tables.
    QString pathOfTable(const QString& table) const {
        const bool plainName = !table.isEmpty() && !table.contains(QLatin1Char('/')) &&
                               !table.contains(QLatin1Char('\\')) && table != QLatin1String(".") &&
                               table != QLatin1String("..");
        if (plainName) {
            if (const auto found = findFile(table)) return *found;
            const qsizetype hash = table.lastIndexOf(QLatin1Char('#'));
            if (hash > 0) {
                QString dotted = table;
                dotted[hash] = QLatin1Char('.');
                if (const auto found = findFile(dotted)) return *found;
            }
        }
        throw DaoError(DaoError::NoSuchTable,
                       QStringLiteral("The table \"%1\" does not exist: the folder \"%2\" holds "
                                      "no file of that name.")
                           .arg(table, folder_));
    }

    std::optional<QString> findFile(const QString& name) const {
        const QDir dir(folder_);
        if (QFileInfo(dir.filePath(name)).isFile()) return dir.filePath(name);
        std::optional<QString> match;
        for (const QString& file : dir.entryList(QDir::Files | QDir::Hidden)) {
            if (file.compare(name, Qt::CaseInsensitive) != 0) continue;
            if (match) return std::nullopt;  // ambiguous
            match = dir.filePath(file);
        }
        return match;
    }

    bool open_ = false;
    QString folder_;
    TextTableOptions options_;
};

}  // namespace

std::unique_ptr<Connection> makeTextConnection() {
    return std::make_unique<TextConnection>();
}

}  // namespace keldara::dao
