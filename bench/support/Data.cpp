#include "Data.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace keldara::bench {

QString dataFolderPattern(const QString& name) {
    const QByteArray root = qgetenv("KELDARA_BENCH_DATA");
    const QString folder = root.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(root);
    return folder + QStringLiteral("/keldara-") + name + QStringLiteral("-XXXXXX");
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void writeOrdersCsv(const QString& path, int records) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write " + path.toStdString());
    static const char* const kCities[] = {"Lyon", "\"Portland, OR\"", "M\xC3\xBCnchen",
                                          "\"The \"\"Hague\"\"\"", "Reykjav\xC3\xADk"};
    file.write("id,customer,city,amount,quantity,ordered,shipped,code,price,note\n");
    QByteArray line;
    for (int i = 1; i <= records; ++i) {
        const QByteArray date =
            "2024-" + QByteArray::number(10 + i % 3) + '-' + QByteArray::number(10 + i % 19);
        line.clear();
        line += QByteArray::number(i) + ",Customer " + QByteArray::number(i % 9973) + ',';
        line += QByteArray(kCities[i % 5]) + ',';
        line += QByteArray::number(i % 100000) + '.' + QByteArray::number(10 + i % 90) + ',';
        line += QByteArray::number(i % 250) + ',';
        line += date + ',';
        line += date + ' ' + QByteArray::number(10 + i % 14) + ':' +
                QByteArray::number(10 + i % 50) + ":00,";
        line += '0' + QByteArray::number(i % 1000) + ',';
        line += QByteArray::number(i % 500) + ".25,";
        if (i % 3 == 0) line += "delivered to the back door";
        line += '\n';
        if (file.write(line) != line.size())
            throw std::runtime_error("cannot write " + path.toStdString());
    }
}

QString textConnectionString(const QString& csvPath) {
    return QStringLiteral(
               "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1\\;Extended "
               "Properties=\"text;HDR=Yes;FMT=Delimited;\"")
        .arg(QFileInfo(csvPath).absolutePath());
}

void writeLongCsv(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the CSV file");
    QByteArray block = "id,name,amount,day,note\n";
    const QByteArray note =
        "a longer text of the kind an order keeps about itself: " + QByteArray(60, 'x') +
        " and Zoë's comment";
    for (qint64 id = 1, written = 0; written < bytes; ++id) {
        block += QByteArray::number(id) + ",\"Ångström, " + QByteArray::number(id % 977) + "\"," +
                 QByteArray::number(id % 100000) + '.' + QByteArray::number(10 + id % 90) +
                 ",2024-" + QByteArray::number(1 + id % 12).rightJustified(2, '0') + '-' +
                 QByteArray::number(1 + id % 28).rightJustified(2, '0') + ',' + note + '\n';
        if (block.size() >= (1 << 20)) {
            if (file.write(block) != block.size()) throw std::runtime_error("disk full?");
            written += block.size();
            block.clear();
        }
    }
    file.write(block);
}

QStringList clientArguments(const QString& database) {
    const auto env = [](const char* name) { return qEnvironmentVariable(name); };
    return {"--no-defaults",           "-h",
            env("KELDARA_MYSQL_HOST"), "-P",
            env("KELDARA_MYSQL_PORT"), "-u",
            env("KELDARA_MYSQL_USER"), "-p" + env("KELDARA_MYSQL_PASSWORD"),
            "--local-infile=1",        database};
}

}  // namespace keldara::bench
