#include "transfer/LoadDataLines.h"

#include <algorithm>

#include "transfer/SqlText.h"

namespace keldara::transfer {

bool AppendLoadField(QString& lines, const dao::Value& value) {
    if (value.isNull()) {
        lines += QLatin1String("\\N");
        return true;
    }
    if (value.kind() == dao::ValueKind::Bytes) return false;
    const QString text = value.standardText();
    const auto special = [](QChar c) {
        const char16_t u = c.unicode();
        return u == '\\' || u == '\t' || u == '\n' || u == '\r' || u == 0;
    };
    if (std::none_of(text.begin(), text.end(), special)) {
        lines += text;
        return true;
    }
    for (const QChar c : text) {
        if (special(c)) {
            lines += QLatin1Char('\\');
            switch (c.unicode()) {
                case '\t':
                    lines += QLatin1Char('t');
                    break;
                case '\n':
                    lines += QLatin1Char('n');
                    break;
                case '\r':
                    lines += QLatin1Char('r');
                    break;
                case 0:
                    lines += QLatin1Char('0');
                    break;
                default:
                    lines += c;
            }
        } else {
            lines += c;
        }
    }
    return true;
}

bool AppendLoadLine(QString& lines, const PairedFields& fields, long row) {
    for (std::size_t i = 0; i < fields.columns.size(); ++i) {
        const int column = fields.columns[i];
        if (i > 0) lines += QLatin1Char('\t');
        const dao::Value value =
            transferValue(fields.source.valueAt(row, column), fields.source.fieldInfo(column).type);
        if (!AppendLoadField(lines, value)) return false;
    }
    lines += QLatin1Char('\n');
    return true;
}

QString LoadDataStatement(const QString& quotedTable, const QString& columns) {
    return QStringLiteral(
               "LOAD DATA LOCAL INFILE 'keldara' INTO TABLE %1 CHARACTER SET utf8mb4 FIELDS "
               "TERMINATED BY '\\t' ESCAPED BY '\\\\' LINES TERMINATED BY '\\n' (%2)")
        .arg(quotedTable, columns);
}

}  // namespace keldara::transfer
