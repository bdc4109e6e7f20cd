#include "platform/dao/excel/SheetTable.h"

#include <QSet>
#include <algorithm>

#include "platform/dao/TypeCodes.h"

namespace keldara::dao::xls {

namespace {

constexpr long kTextSize = 255;
constexpr long kLongTextSize = 536870910;

enum KindBit : unsigned {
    NumberBit = 1,
    DateBit = 2,
    TextBit = 4,
    BooleanBit = 8,
};

unsigned kindBit(const Value& value) {
    switch (value.kind()) {
        case ValueKind::Double:
            return NumberBit;
        case ValueKind::Date:
        case ValueKind::Time:
        case ValueKind::DateTime:
            return DateBit;
        case ValueKind::Text:
            return TextBit;
        case ValueKind::Boolean:
            return BooleanBit;
        default:
            return 0;
    }
}

struct ColumnShape {
    unsigned kinds = 0;
    qsizetype longestText = 0;

    bool isMixed() const { return kinds != 0 && (kinds & (kinds - 1)) != 0; }
};

struct Range {
    std::uint32_t firstRow = 0;
    std::uint32_t lastRow = 0;
    std::uint16_t firstColumn = 0;
    std::uint16_t lastColumn = 0;
    bool empty = true;
};

bool occupies(const SheetCell& cell) {
    return cell.isError || !cell.value.isNull();
}

Range usedRange(const std::vector<SheetCell>& cells) {
    Range range;
    for (const SheetCell& cell : cells) {
        if (!occupies(cell)) continue;
        if (range.empty) {
            range = Range{cell.row, cell.row, cell.column, cell.column, false};
            continue;
        }
        range.lastRow = std::max(range.lastRow, cell.row);  // cells come in row order
        range.firstColumn = std::min(range.firstColumn, cell.column);
        range.lastColumn = std::max(range.lastColumn, cell.column);
    }
    return range;
}

// Field names from the header row: blank ones become F1, F2, ... by position; a name that
// repeats an earlier one (in any letter case) gets the lowest free number appended.
std::vector<QString> fieldNames(const std::vector<SheetCell>& cells, const Range& range) {
    const std::size_t width = range.lastColumn - range.firstColumn + 1u;
    std::vector<QString> names(width);
    for (const SheetCell& cell : cells) {
        if (cell.row != range.firstRow) continue;
        names[cell.column - range.firstColumn] = cellText(cell.value);
    }
    for (std::size_t i = 0; i < width; ++i) {
        if (names[i].isEmpty()) names[i] = QStringLiteral("F%1").arg(i + 1);
    }
    QSet<QString> taken;
    for (QString& name : names) {
        if (taken.contains(name.toLower())) {
            QString candidate;
            for (int n = 1;; ++n) {
                candidate = name + QString::number(n);
                if (!taken.contains(candidate.toLower())) break;
            }
            name = candidate;
        }
        taken.insert(name.toLower());
    }
    return names;
}

FieldInfo fieldOfShape(const QString& name, const ColumnShape& shape) {
    FieldInfo field;
    field.name = name;
    switch (shape.kinds) {
        case NumberBit:
            field.type = adType::Double;
            field.definedSize = 8;
            field.precision = 15;
            return field;
        case DateBit:
            field.type = adType::Date;
            field.definedSize = 8;
            return field;
        case BooleanBit:
            field.type = adType::Boolean;
            field.definedSize = 2;
            return field;
        default:
            break;
    }
    const bool longText = shape.longestText > kTextSize;
    field.type = longText ? adType::LongVarWChar : adType::VarWChar;
    field.definedSize = longText ? kLongTextSize : kTextSize;
    return field;
}

}  // namespace

QString cellText(const Value& value) {
    if (value.kind() == ValueKind::Boolean) {
        return value.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    }
    return value.standardText();
}

QString sheetTableName(const QString& sheetName) {
    bool plain = !sheetName.isEmpty() && !sheetName.front().isDigit();
    for (const QChar c : sheetName) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('_')) plain = false;
    }
    if (plain) return sheetName + QLatin1Char('$');
    QString quoted = sheetName;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1String("$'");
}

std::unique_ptr<Recordset> sheetRecordset(const std::vector<SheetCell>& cells) {
    const Range range = usedRange(cells);
    if (range.empty) {
        // An empty sheet reads as one blank column without records.
        return std::make_unique<Recordset>(
            std::vector<FieldInfo>{fieldOfShape(QStringLiteral("F1"), ColumnShape{})});
    }
    const std::size_t width = range.lastColumn - range.firstColumn + 1u;
    const std::vector<QString> names = fieldNames(cells, range);

    std::vector<ColumnShape> shapes(width);
    for (const SheetCell& cell : cells) {
        if (cell.row <= range.firstRow || cell.row > range.lastRow) continue;
        if (cell.column < range.firstColumn || cell.column > range.lastColumn) continue;
        ColumnShape& shape = shapes[cell.column - range.firstColumn];
        shape.kinds |= kindBit(cell.value);
        if (cell.value.kind() == ValueKind::Text) {
            shape.longestText = std::max(shape.longestText, cell.value.toText().size());
        }
    }
    std::vector<FieldInfo> fields;
    fields.reserve(width);
    for (std::size_t i = 0; i < width; ++i) fields.push_back(fieldOfShape(names[i], shapes[i]));

    auto records = std::make_unique<Recordset>(std::move(fields));
    records->reserve(range.lastRow - range.firstRow);
    std::vector<Value> row(width);
    auto cell = cells.begin();
    while (cell != cells.end() && cell->row <= range.firstRow) ++cell;
    for (std::uint32_t r = range.firstRow + 1; r <= range.lastRow; ++r) {
        std::fill(row.begin(), row.end(), Value::null());
        for (; cell != cells.end() && cell->row == r; ++cell) {
            if (cell->column < range.firstColumn || cell->column > range.lastColumn) continue;
            const std::size_t i = cell->column - range.firstColumn;
            const bool asText = shapes[i].isMixed() && !cell->value.isNull();
            row[i] = asText ? Value::text(cellText(cell->value)) : cell->value;
        }
        records->appendRow(row);
    }
    return records;
}

}  // namespace keldara::dao::xls
