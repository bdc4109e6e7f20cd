#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "platform/dao/Recordset.h"
#include "platform/dao/TableSchema.h"
#include "platform/dao/access/JetHeader.h"
#include "platform/dao/access/JetText.h"

namespace keldara::dao::access {

// One open Access database file, read through libmdb. libmdb keeps its state in the handle
// and in a few globals, so every call into it is serialised.
class JetDatabase : public std::enable_shared_from_this<JetDatabase> {
  public:
    // Opens the file, checks its password and reads its table catalogue. Jet 3 text is read
    // in `jet3CodePage`. Throws DaoError naming the file and the reason.
    JetDatabase(const QString& path, const QString& password, int jet3CodePage);
    ~JetDatabase();
    JetDatabase(const JetDatabase&) = delete;
    JetDatabase& operator=(const JetDatabase&) = delete;

    const QString& path() const { return path_; }
    JetVersion version() const { return header_.version; }
    // The user tables, in the order they are stored in the catalogue.
    const QStringList& userTables() const { return userTables_; }
    // Every row of a user table (names compared without regard to case). With
    // `streamedRows`, the recordset is streamed: the table is read once on opening, for its
    // rows, fields and damage, and again page by page as the rows are asked for, holding that
    // many (the database, which must be held by a shared_ptr, is kept meanwhile).
    std::unique_ptr<Recordset> readTable(const QString& name,
                                         std::optional<long> streamedRows = std::nullopt);

    // The structure of the user tables (columns, indexes, properties) and the relationships
    // between them, as the file declares them. Throws DaoError when a definition is damaged.
    DatabaseSchema schema();

    // What a complex field (multi-value, attachment, version history) of Access 2007+ holds:
    // the text of each of its keys, or nothing and why it is not copied.
    struct ComplexField {
        std::optional<QHash<qint64, QString>> texts;
        QString note;
    };
    using ComplexResolver = std::function<ComplexField(quint32 complexId, const QString& field)>;

    struct Handle;

  private:
    ComplexField complexField(quint32 complexId, const QString& field);
    std::unique_ptr<Recordset> readSystemTable(const QString& name, const QStringList& columns);
    std::unique_ptr<Recordset> readTableAt(quint32 page, const QString& name,
                                           const QStringList& columns = {},
                                           std::optional<long> streamedRows = std::nullopt);
    void checkFileAndHeader(const QString& password);
    void openHandle();
    void readCatalogue();
    QString definitionProblem(quint32 page) const;
    // Throws DaoError when the definition of table `name` on `page` cannot be read.
    void checkDefinition(quint32 page, const QString& name) const;
    TableSchema tableSchema(std::size_t index, const QHash<qint64, QByteArray>& properties);
    std::vector<RelationshipSchema> relationships();
    int columnIndex(const Recordset& records, const char* name) const;

    QString path_;
    JetHeader header_;
    quint32 pageCount_ = 0;
    CodePageDecoder jet3Text_;
    std::unique_ptr<Handle> handle_;
    QStringList userTables_;
    // Every table of the catalogue, hidden and system ones too: name by id, id by name.
    QHash<qint64, QString> objectNames_;
    QHash<QString, qint64> tableIds_;
    // MSysComplexColumns by ComplexID: the object naming the type of the values, and the
    // hidden table holding them.
    struct ComplexColumn {
        qint64 typeId = 0;
        qint64 flatTableId = 0;
    };
    std::optional<QHash<qint64, ComplexColumn>> complexColumns_;
    bool resolvingComplex_ = false;
};

}  // namespace keldara::dao::access
