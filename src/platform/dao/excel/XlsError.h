#pragma once

#include <QString>
#include <stdexcept>

namespace keldara::dao::xls {

// A workbook that cannot be read: the reason, without the file name (the connection adds it).
class FormatError : public std::runtime_error {
  public:
    explicit FormatError(const QString& reason)
        : std::runtime_error(reason.toStdString()), reason_(reason) {}
    const QString& reason() const { return reason_; }

  private:
    QString reason_;
};

// A workbook whose records are encrypted (it carries a FILEPASS record).
class EncryptedWorkbook : public FormatError {
  public:
    EncryptedWorkbook() : FormatError(QStringLiteral("the workbook is encrypted")) {}
};

}  // namespace keldara::dao::xls
