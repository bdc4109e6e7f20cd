#include "transfer/RejectsFile.h"

#include <stdexcept>

#include "transfer/PairedFields.h"
#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

QString csvField(const QString& text, bool quoted) {
    if (!quoted) return text;
    QString inner = text;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

}  // namespace

void RejectsFile::refuse(const QString& what) {
    throw std::runtime_error(QStringLiteral("The rejects file \"%1\" %2: %3")
                                 .arg(file_.fileName(), what, file_.errorString())
                                 .toStdString());
}

void RejectsFile::writeLine(const QStringList& fields, const QList<bool>& quoted) {
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) line += QLatin1Char(',');
        line += csvField(fields[i], quoted[i]);
    }
    line += QLatin1String("\r\n");
    const QByteArray bytes = line.toUtf8();
    if (file_.write(bytes) != bytes.size() || !file_.flush())
        refuse(QStringLiteral("cannot be written"));
}

void RejectsFile::add(long row, const QString& words, const PairedFields& fields) {
    if (!file_.isOpen()) {
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
            refuse(QStringLiteral("cannot be created"));
        writeLine(QStringList{QStringLiteral("Record"), QStringLiteral("Error")} + fields.names,
                  QList<bool>(fields.names.size() + 2, true));
    }
    QStringList line{QString::number(row + 1), words};
    QList<bool> quoted{false, true};
    for (int column : fields.columns) {
        const dao::Value value =
            transferValue(fields.source.valueAt(row, column), fields.source.fieldInfo(column).type);
        line << NullToEmpty(value);
        quoted << !value.isNull();
    }
    writeLine(line, quoted);
    ++count_;
}

void RejectsFile::continueAfter(qint64 size, long count) {
    keptSize_ = size;
    keptCount_ = count_ = count;
    if (size == 0) return;
    if (!file_.open(QIODevice::ReadWrite)) refuse(QStringLiteral("cannot be opened"));
    if (file_.size() < size) {
        file_.close();
        throw std::runtime_error(
            QStringLiteral("The rejects file \"%1\" is shorter than the run that is resumed "
                           "left it; give the resumed run the same rejects file")
                .arg(file_.fileName())
                .toStdString());
    }
    // Records listed after the last confirmed one are listed again when they are sent again.
    if (!file_.resize(size) || !file_.seek(size)) refuse(QStringLiteral("cannot be written"));
}

void RejectsFile::restart() {
    count_ = keptCount_;
    if (!file_.isOpen()) return;
    if (keptSize_ > 0) {
        if (!file_.resize(keptSize_) || !file_.seek(keptSize_))
            refuse(QStringLiteral("cannot be written"));
        return;
    }
    file_.close();
    file_.remove();
}

}  // namespace keldara::transfer
