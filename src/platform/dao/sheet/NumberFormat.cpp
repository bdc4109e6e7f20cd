#include "platform/dao/sheet/NumberFormat.h"

#include <QString>

namespace keldara::dao::sheet {

namespace {

struct Tokens {
    int dateChars = 0;    // y, d, and m meaning month
    int timeChars = 0;    // h, s, m meaning minutes, AM/PM
    int numberChars = 0;  // 0 # ?
};

bool isElapsedTime(QStringView inside) {
    if (inside.isEmpty()) return false;
    for (const QChar c : inside) {
        const char16_t l = c.toLower().unicode();
        if (l != u'h' && l != u'm' && l != u's') return false;
    }
    return true;
}

// The next letter token after position i that tells what an 'm' run means.
QChar nextDateTimeLetter(QStringView format, qsizetype i) {
    for (; i < format.size(); ++i) {
        const QChar l = format[i].toLower();
        if (l == u'"' || l == u'[') return {};
        if (l == u'y' || l == u'd' || l == u'h' || l == u's' || l == u'm') return l;
    }
    return {};
}

Tokens scan(QStringView format) {
    Tokens tokens;
    QChar previous;  // last date/time letter seen: y d m h s
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        const QChar l = c.toLower();
        if (c == u'"') {
            const qsizetype close = format.indexOf(u'"', i + 1);
            i = close < 0 ? format.size() : close;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype close = format.indexOf(u']', i + 1);
            const qsizetype end = close < 0 ? format.size() : close;
            const QStringView inside = format.mid(i + 1, end - i - 1);
            if (isElapsedTime(inside)) {
                tokens.timeChars += static_cast<int>(inside.size());
                previous = inside[0].toLower();
            }
            i = end;
        } else if (format.mid(i, 5).compare(u"AM/PM", Qt::CaseInsensitive) == 0) {
            tokens.timeChars += 1;
            i += 4;
        } else if (format.mid(i, 3).compare(u"A/P", Qt::CaseInsensitive) == 0) {
            tokens.timeChars += 1;
            i += 2;
        } else if (format.mid(i, 7).compare(u"General", Qt::CaseInsensitive) == 0) {
            i += 6;
        } else if (l == u'y' || l == u'd') {
            ++tokens.dateChars;
            previous = l;
        } else if (l == u'h' || l == u's') {
            ++tokens.timeChars;
            previous = l;
        } else if (l == u'm') {
            qsizetype end = i;
            while (end < format.size() && format[end].toLower() == u'm') ++end;
            const int run = static_cast<int>(end - i);
            const bool minutes =
                (previous == u'h' || nextDateTimeLetter(format, end) == u's') && run <= 2;
            (minutes ? tokens.timeChars : tokens.dateChars) += run;
            previous = u'm';
            i = end - 1;
        } else if (c == u'0' || c == u'#' || c == u'?') {
            ++tokens.numberChars;
        }
    }
    return tokens;
}

}  // namespace

FormatClass classifyFormatString(QStringView format) {
    const Tokens tokens = scan(format);
    const int dateTime = tokens.dateChars + tokens.timeChars;
    if (dateTime == 0 || tokens.numberChars >= dateTime) return FormatClass::Number;
    return tokens.dateChars > 0 ? FormatClass::Date : FormatClass::TimeOnly;
}

FormatClass builtInFormatClass(int index) {
    // 27-36 and 50-58 are the dates of the East Asian versions, written without a format
    // record of their own.
    if ((index >= 14 && index <= 17) || index == 22 || (index >= 27 && index <= 36) ||
        (index >= 50 && index <= 58)) {
        return FormatClass::Date;
    }
    if ((index >= 18 && index <= 21) || (index >= 45 && index <= 47)) return FormatClass::TimeOnly;
    return FormatClass::Number;
}

}  // namespace keldara::dao::sheet
