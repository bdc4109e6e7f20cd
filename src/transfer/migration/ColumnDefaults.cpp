#include "transfer/migration/ColumnDefaults.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

#include "platform/dao/Value.h"
#include "transfer/migration/MigrationColumnTypes.h"

namespace keldara::transfer::migration {

namespace {

// The text of a quoted string literal ("a ""b""" or 'a ''b'''), or nothing.
std::optional<QString> stringLiteral(const QString& expression) {
    if (expression.size() < 2) return std::nullopt;
    const QChar quote = expression.front();
    if ((quote != u'"' && quote != u'\'') || expression.back() != quote) return std::nullopt;
    const QString inner = expression.mid(1, expression.size() - 2);
    const QString doubled = QString(2, quote);
    if (QString(inner).remove(doubled).contains(quote)) return std::nullopt;  // "a" & "b"
    return QString(inner).replace(doubled, QString(quote));
}

bool isNumber(const QString& expression) {
    static const QRegularExpression number(
        QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?$"));
    return number.match(expression).hasMatch();
}

// True, Yes, On: -1 in Access; False, No, Off: 0.
std::optional<bool> truthWord(const QString& expression) {
    const QString word = expression.toLower();
    if (word == u"true" || word == u"yes" || word == u"on") return true;
    if (word == u"false" || word == u"no" || word == u"off") return false;
    return std::nullopt;
}

QString quotedText(const QString& text) {
    return QLatin1Char('\'') + dao::escapeSqlText(text) + QLatin1Char('\'');
}

// The range of an integer type.
bool fitsInteger(const QString& number, const QString& type) {
    bool ok = false;
    const qlonglong value = number.toLongLong(&ok);
    if (!ok) return false;
    const bool unsignedType = type.contains(QLatin1String("UNSIGNED"));
    const int bits = type.startsWith(QLatin1String("TINY"))     ? 8
                     : type.startsWith(QLatin1String("SMALL"))  ? 16
                     : type.startsWith(QLatin1String("MEDIUM")) ? 24
                     : type.startsWith(QLatin1String("BIG"))    ? 64
                                                                : 32;
    if (bits == 64) return !unsignedType || value >= 0;
    const qlonglong low = unsignedType ? 0 : -(1LL << (bits - 1));
    const qlonglong high = unsignedType ? (1LL << bits) - 1 : (1LL << (bits - 1)) - 1;
    return value >= low && value <= high;
}

// A plain decimal number within DECIMAL(p,s).
bool fitsDecimal(const QString& number, const QString& type) {
    static const QRegularExpression parts(QStringLiteral("^[-+]?(\\d*)\\.?(\\d*)$"));
    static const QRegularExpression declared(QStringLiteral("DECIMAL\\((\\d+),(\\d+)\\)"));
    const auto digits = parts.match(number);
    const auto size = declared.match(type);
    if (!digits.hasMatch() || !size.hasMatch()) return false;
    QString whole = digits.captured(1);
    while (whole.startsWith(u'0')) whole.remove(0, 1);
    QString fraction = digits.captured(2);
    while (fraction.endsWith(u'0')) fraction.chop(1);
    const int precision = size.captured(1).toInt();
    const int scale = size.captured(2).toInt();
    return whole.size() <= precision - scale && fraction.size() <= scale;
}

std::optional<QString> numberDefault(QString number, const QString& type) {
    if (number.startsWith(u'+')) number.remove(0, 1);
    if (isBooleanType(type))
        return number.toDouble() == 0 ? QStringLiteral("0") : QStringLiteral("1");
    if (isIntegerType(type))
        return fitsInteger(number, type) ? std::optional(number) : std::nullopt;
    if (type.startsWith(QLatin1String("DECIMAL")))
        return fitsDecimal(number, type) ? std::optional(number) : std::nullopt;
    if (type == u"FLOAT" || type == u"DOUBLE") return number;
    if (isTextType(type)) return quotedText(number);
    return std::nullopt;
}

// #m/d/yyyy[ h:mm[:ss]]# as Access writes a date in an expression.
std::optional<QString> dateLiteral(const QString& expression) {
    static const QRegularExpression date(QStringLiteral(
        "^#(\\d{1,2})/(\\d{1,2})/(\\d{4})(?: (\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?#$"));
    const auto match = date.match(expression);
    if (!match.hasMatch()) return std::nullopt;
    const QDate day(match.captured(3).toInt(), match.captured(1).toInt(),
                    match.captured(2).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(),
                     match.captured(6).toInt());
    if (!day.isValid() || !time.isValid()) return std::nullopt;
    return QLatin1Char('\'') + day.toString(Qt::ISODate) + QLatin1Char(' ') +
           time.toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('\'');
}

// Now(), Date() and #...# for a date-time column.
std::optional<QString> dateDefault(const QString& expression, const QString& type) {
    const QString call = QString(expression).remove(u' ').toLower();
    if (call == u"now()") {
        const int digits = typeLength(type);
        return digits > 0 ? QStringLiteral("CURRENT_TIMESTAMP(%1)").arg(digits)
                          : QStringLiteral("CURRENT_TIMESTAMP");
    }
    if (call == u"date()") return QStringLiteral("(CURRENT_DATE)");
    return dateLiteral(expression);
}

}  // namespace

std::optional<QString> MySqlDefault(const QString& source, const QString& type) {
    QString expression = source.trimmed();
    if (expression.startsWith(u'=')) expression = expression.mid(1).trimmed();
    if (expression.compare(QLatin1String("Null"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("NULL");
    if (isDateTimeType(type)) return dateDefault(expression, type);
    if (const auto text = stringLiteral(expression)) {
        if (isTextType(type)) {
            const int length = typeLength(type);
            if (isCharacterType(type) && text->size() > length) return std::nullopt;
            return quotedText(*text);
        }
        return isNumber(*text) && !isBinaryType(type) ? numberDefault(*text, type) : std::nullopt;
    }
    if (const auto truth = truthWord(expression)) {
        if (isBooleanType(type)) return *truth ? QStringLiteral("1") : QStringLiteral("0");
        if (isTextType(type) || isBinaryType(type)) return std::nullopt;
        return numberDefault(*truth ? QStringLiteral("-1") : QStringLiteral("0"), type);
    }
    if (isNumber(expression) && !isBinaryType(type)) return numberDefault(expression, type);
    if (QString(expression).remove(u' ').compare(QLatin1String("GenGUID()"), Qt::CaseInsensitive) ==
            0 &&
        type == u"CHAR(38)")
        return QStringLiteral("(CONCAT('{', UPPER(UUID()), '}'))");
    return std::nullopt;
}

}  // namespace keldara::transfer::migration
