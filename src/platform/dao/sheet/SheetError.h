#pragma once

#include <QString>

#include "platform/dao/DaoError.h"

namespace keldara::dao::sheet {

// A workbook that cannot be read: a DaoError whose description is the reason alone, without
// the file name (the connection adds it).
class FormatError : public DaoError {
  public:
    explicit FormatError(const QString& reason) : DaoError(DaoError::BadFile, reason) {}
    const QString& reason() const { return description(); }
};

// A workbook whose records are encrypted (it carries a FILEPASS record).
class EncryptedWorkbook : public FormatError {
  public:
    EncryptedWorkbook() : FormatError(QStringLiteral("the workbook is encrypted")) {}
};

}  // namespace keldara::dao::sheet
