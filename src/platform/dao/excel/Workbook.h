#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/dao/CodePages.h"
#include "platform/dao/Value.h"
#include "platform/dao/excel/BiffRecords.h"
#include "platform/dao/sheet/NumberFormat.h"
#include "platform/dao/sheet/SheetCells.h"

namespace keldara::dao::xls {

using sheet::CellSink;
using sheet::SheetCell;

struct Worksheet {
    QString name;
    std::size_t streamOffset = 0;  // of its BOF record in the workbook stream
};

// An Excel workbook: a BIFF8 or BIFF5 workbook stream in a compound file, or a single
// BIFF3/BIFF4 worksheet stream on its own. Loading reads the workbook globals (sheets,
// string table, formats, date system, code page); cells are read per worksheet on request.
class Workbook : public sheet::SheetBook {
  public:
    // `singleSheetName` names the worksheet of a BIFF3/BIFF4 file, which has no sheet names.
    // The workbook may keep `file` (shared, not copied), which must own its bytes.
    // Throws sheet::FormatError (or sheet::EncryptedWorkbook) when the bytes are no readable
    // workbook.
    static std::unique_ptr<Workbook> load(const QByteArray& file, const QString& singleSheetName);

    int biffVersion() const { return biff_; }
    bool uses1904DateSystem() const { return date1904_; }
    const std::vector<Worksheet>& worksheets() const { return sheets_; }

    std::vector<QString> sheetNames() const override;
    void visitCells(std::size_t sheet, const sheet::CellSink& sink) const override;

  private:
    struct RawSheet {
        QByteArray name;  // byte string of BIFF5, decoded once the code page is known
        QString unicodeName;
        std::size_t offset = 0;
    };

    Workbook() = default;
    void readGlobals(std::size_t offset, bool wholeStream);
    void readFormatRecord(const Record& record);
    void readXfRecord(const Record& record);
    void readBoundSheet(const Record& record);
    void readSharedStrings(const Record& record, RecordReader& reader);
    void finishGlobals();

    QString byteString(const std::uint8_t* data, std::size_t size) const;
    sheet::FormatClass formatOfXf(std::uint16_t xf) const {
        return xf < xfClasses_.size() ? xfClasses_[xf] : sheet::FormatClass::Number;
    }
    bool formatCutShort(std::uint16_t xf) const {
        return xf < xfFormatCut_.size() && xfFormatCut_[xf];
    }
    sheet::FormatClass classOfFormat(int format) const;
    std::size_t sharedStringCount() const { return sharedStringEnds_.size(); }
    QString sharedString(std::size_t index) const;
    Value numberValue(double number, std::uint16_t xf) const;

    friend class SheetReader;

    QByteArray file_;  // kept when stream_ is a view of it
    QByteArray stream_;
    int biff_ = 8;
    bool date1904_ = false;
    int codePage_ = 1252;
    std::unique_ptr<CodePageDecoder> decoder_;
    std::vector<std::uint16_t> xfFormats_;
    std::vector<sheet::FormatClass> xfClasses_;  // what each XF's format makes of a number
    std::vector<bool> xfFormatCut_;              // whether each XF's format is cut short
    std::map<int, QByteArray> formatBytes_;      // BIFF5 and older, decoded at the end
    std::map<int, sheet::FormatClass> formats_;
    std::set<int> cutFormats_;  // formats whose FORMAT record is cut short
    int formatCount_ = 0;       // BIFF2-4 number their formats in order of appearance
    // The shared strings side by side, each ending where the next begins.
    std::vector<char16_t> sharedText_;
    std::vector<std::size_t> sharedStringEnds_;
    std::vector<RawSheet> rawSheets_;
    std::vector<Worksheet> sheets_;
};

}  // namespace keldara::dao::xls
