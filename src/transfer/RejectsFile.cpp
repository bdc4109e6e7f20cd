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

void RejectsFile::writeLine(const QStringList& fields, const QList<bool>& quoted) {
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) line += QLatin1Char(',');
        line += csvField(fields[i], quoted[i]);
    }
    line += QLatin1String("\r\n");
    const QByteArray bytes = line.toUtf8();
    if (file_.write(bytes) != bytes.size() || !file_.flush()) {
        throw std::runtime_error(QStringLiteral("The rejects file \"%1\" cannot be written: %2")
                                     .arg(file_.fileName(), file_.errorString())
                                     .toStdString());
    }
}

void RejectsFile::add(long row, const QString& words, const PairedFields& fields) {
    if (!file_.isOpen()) {
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            throw std::runtime_error(QStringLiteral("The rejects file \"%1\" cannot be created: %2")
                                         .arg(file_.fileName(), file_.errorString())
                                         .toStdString());
        }
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

void RejectsFile::restart() {
    if (!file_.isOpen()) return;
    file_.close();
    file_.remove();
    count_ = 0;
}

bool RunChoices::skip(const dao::DaoError& error, long row, const PairedFields& fields) const {
    if (!rejects || error.transient()) return false;
    rejects->add(row, error.description(), fields);
    return true;
}

void RunChoices::restartRun() const {
    if (rejects) rejects->restart();
}

}  // namespace keldara::transfer
