#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace keldara::dao::text {

enum class SliceOrigin : std::uint8_t {
    Null,       // an empty field, quoted or not
    Text,       // bytes of the file's text
    Unescaped,  // bytes of ParsedRecords::unescaped (the field held doubled quotes)
};

// Where the UTF-8 bytes of one field lie.
struct FieldSlice {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    SliceOrigin origin = SliceOrigin::Null;
};

// Every record of a delimited text, as slices of its bytes. A blank line is a record
// without fields.
struct ParsedRecords {
    QByteArray text;                        // the UTF-8 text the slices point into
    std::string unescaped;                  // fields rewritten while reading
    std::vector<FieldSlice> fields;         // all records' fields, one after another
    std::vector<std::size_t> recordStarts;  // index of each record's first field, plus end
    std::vector<std::int64_t> recordLines;  // the line each record begins on, from 1

    std::size_t recordCount() const { return recordLines.size(); }
    std::span<const FieldSlice> record(std::size_t index) const {
        return std::span<const FieldSlice>(fields).subspan(
            recordStarts[index], recordStarts[index + 1] - recordStarts[index]);
    }
    std::string_view bytes(const FieldSlice& slice) const {
        const char* base =
            slice.origin == SliceOrigin::Unescaped ? unescaped.data() : text.constData();
        return {base + slice.offset, slice.length};
    }
};

// Splits UTF-8 text into records and fields: fields separated by `delimiter`, records by
// CR LF, LF or CR; a field that begins with a double quote runs to the matching quote and
// may hold delimiters, line ends and doubled quotes. Text after a closing quote belongs to
// the field. Throws DaoError naming `fileName` and the line when a quote is never closed.
ParsedRecords parseDelimited(QByteArray text, char delimiter, const QString& fileName);

}  // namespace keldara::dao::text
