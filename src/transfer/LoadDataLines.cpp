#include "transfer/LoadDataLines.h"

#include <algorithm>

#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

bool isLoadSpecial(char c) {
    return c == '\\' || c == '\t' || c == '\n' || c == '\r' || c == 0;
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

}  // namespace

bool AppendLoadField(QByteArray& lines, const dao::Value& value) {
    if (value.isNull()) {
        lines += "\\N";
        return true;
    }
    if (value.kind() == dao::ValueKind::Bytes) return false;
    const qsizetype start = lines.size();
    value.appendStandardUtf8(lines);
    escapeFrom(lines, start);
    return true;
}

bool AppendLoadLine(QByteArray& lines, const PairedFields& fields, long row) {
    for (std::size_t i = 0; i < fields.columns.size(); ++i) {
        const int column = fields.columns[i];
        if (i > 0) lines += '\t';
        const dao::Value value =
            transferValue(fields.source.valueAt(row, column), fields.source.fieldInfo(column).type);
        if (!AppendLoadField(lines, value)) return false;
    }
    lines += '\n';
    return true;
}

QString LoadDataStatement(const QString& quotedTable, const QString& columns) {
    return QStringLiteral(
               "LOAD DATA LOCAL INFILE 'keldara' INTO TABLE %1 CHARACTER SET utf8mb4 FIELDS "
               "TERMINATED BY '\\t' ESCAPED BY '\\\\' LINES TERMINATED BY '\\n' (%2)")
        .arg(quotedTable, columns);
}

}  // namespace keldara::transfer
