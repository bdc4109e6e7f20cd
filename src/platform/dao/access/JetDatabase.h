#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "platform/dao/Recordset.h"
#include "platform/dao/access/JetHeader.h"
#include "platform/dao/access/JetText.h"

namespace keldara::dao::access {

// One open Access database file, read through libmdb. libmdb keeps its state in the handle
// and in a few globals, so every call into it is serialised.
class JetDatabase {
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
    // Every row of a user table (names compared without regard to case).
    std::unique_ptr<Recordset> readTable(const QString& name);

    struct Handle;

  private:
    void checkFileAndHeader(const QString& password);
    void openHandle();
    void readCatalogue();
    QString definitionProblem(quint32 page) const;
    int columnIndex(const Recordset& records, const char* name) const;

    QString path_;
    JetHeader header_;
    quint32 pageCount_ = 0;
    CodePageDecoder jet3Text_;
    std::unique_ptr<Handle> handle_;
    QStringList userTables_;
};

}  // namespace keldara::dao::access
