#include "transfer/LoadDataLines.h"

#include <algorithm>
#include <array>

#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

constexpr std::array<bool, 256> kLoadSpecial = [] {
    std::array<bool, 256> special{};
    for (const unsigned char c : {'\\', '\t', '\n', '\r', '\0'}) special[c] = true;
    return special;
}();

bool isLoadSpecial(char c) {
    return kLoadSpecial[static_cast<unsigned char>(c)];
}

// Escapes the characters LOAD DATA reads specially in `lines` from `from` on.
void escapeFrom(QByteArray& lines, qsizetype from) {
    const auto special = std::find_if(lines.cbegin() + from, lines.cend(), isLoadSpecial);
    if (special == lines.cend()) return;
    const qsizetype first = special - lines.cbegin();
    const QByteArray rest = lines.sliced(first);
    lines.truncate(first);
    for (const char c : rest) {
        if (!isLoadSpecial(c)) {
            lines += c;
            continue;
        }
        lines += '\\';
        switch (c) {
            case '\t':
                lines += 't';
                break;
            case '\n':
                lines += 'n';
                break;
            case '\r':
                lines += 'r';
                break;
            case 0:
                lines += '0';
                break;
            default:
                lines += c;
        }
    }
}

// Numbers, dates, times and Booleans are written in digits and punctuation that LOAD DATA
// reads as they stand.
bool mayHoldLoadSpecials(dao::ValueKind kind) {
    return kind == dao::ValueKind::Text || kind == dao::ValueKind::Decimal;
}

}  // namespace

bool AppendLoadField(QByteArray& lines, const dao::Value& value) {
    if (value.isNull()) {
        lines += "\\N";
        return true;
    }
    if (value.kind() == dao::ValueKind::Bytes) return false;
    const qsizetype start = lines.size();
    value.appendStandardUtf8(lines);
    if (mayHoldLoadSpecials(value.kind())) escapeFrom(lines, start);
    return true;
}

// A text goes from its column's store into the line as UTF-8; other values by their Value.
bool AppendLoadLine(QByteArray& lines, const PairedFields& fields, long row) {
    bool written = true;
    fields.source.readRecord(row, [&](const std::vector<dao::Column>& columns, std::size_t index) {
        for (std::size_t i = 0; i < fields.columns.size() && written; ++i) {
            const int column = fields.columns[i];
            if (i > 0) lines += '\t';
            const dao::Column& values = columns.at(static_cast<std::size_t>(column));
            const qsizetype start = lines.size();
            if (values.appendTextUtf8(index, lines)) {
                escapeFrom(lines, start);
            } else {
                written = AppendLoadField(
                    lines, transferValue(values.at(index), fields.source.fieldInfo(column).type));
            }
        }
    });
    if (written) lines += '\n';
    return written;
}

bool AppendRowValues(dao::ValueRows& rows, const PairedFields& fields,
                     const std::vector<dao::Column>& columns, std::size_t index) {
    const dao::ValueRows::Mark before = rows.mark();
    for (std::size_t i = 0; i < fields.columns.size(); ++i) {
        const int column = fields.columns[i];
        const dao::Column& values = columns.at(static_cast<std::size_t>(column));
        switch (const dao::ValueKind kind = values.kindAt(index)) {
            case dao::ValueKind::Null:
                rows.appendNull();
                break;
            case dao::ValueKind::Integer:
                rows.appendInteger(values.integerAt(index));
                break;
            case dao::ValueKind::Double:
                rows.appendDouble(values.doubleAt(index));
                break;
            case dao::ValueKind::Date:
            case dao::ValueKind::DateTime:
                rows.appendDateTime(kind, values.dateTimeAt(index));
                break;
            default:
                if (kind == dao::ValueKind::Text && values.appendTextUtf8(index, rows.nextText())) {
                    rows.endText();
                } else if (!rows.append(transferValue(values.at(index),
                                                      fields.source.fieldInfo(column).type))) {
                    rows.backTo(before);
                    return false;
                }
        }
    }
    return true;
}

QString LoadDataStatement(const QString& quotedTable, const QString& columns) {
    return QStringLiteral(
               "LOAD DATA LOCAL INFILE 'keldara' INTO TABLE %1 CHARACTER SET utf8mb4 FIELDS "
               "TERMINATED BY '\\t' ESCAPED BY '\\\\' LINES TERMINATED BY '\\n' (%2)")
        .arg(quotedTable, columns);
}

}  // namespace keldara::transfer
