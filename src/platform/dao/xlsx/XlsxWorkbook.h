#pragma once

#include <QString>
#include <memory>

#include "platform/dao/sheet/SheetCells.h"

namespace keldara::dao::xlsx {

// Opens an Excel 2007 or later workbook (.xlsx, .xlsm; transitional or strict Office Open
// XML): the sheet list, date system, number formats and shared strings are read at once,
// each sheet's cells as a stream whenever they are asked for. Throws sheet::FormatError,
// or sheet::EncryptedWorkbook for a workbook protected by a password to open.
std::unique_ptr<sheet::SheetBook> openXlsxWorkbook(const QString& path);

// The value of a text with Office Open XML's _xHHHH_ escapes (a character by its UTF-16
// code; "_x005F_" is the escape of "_" itself) replaced by what they stand for.
QString unescapeXmlText(QString text);

}  // namespace keldara::dao::xlsx
