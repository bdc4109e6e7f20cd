#include "transfer/migration/MigrationState.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <stdexcept>

namespace keldara::transfer::migration {

namespace {

[[noreturn]] void refuse(const QString& text) {
    throw std::runtime_error(text.toStdString());
}

}  // namespace

MigrationState::MigrationState(QString path, QString source, QString database)
    : path_(std::move(path)), source_(std::move(source)), database_(std::move(database)) {
    QFile file(path_);
    if (!file.exists()) {
        write();
        return;
    }
    if (!file.open(QIODevice::ReadOnly))
        refuse(
            QStringLiteral("cannot read the state file \"%1\": %2").arg(path_, file.errorString()));
    const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
    if (state.value(QStringLiteral("kind")).toString() != QLatin1String("keldara-migration"))
        refuse(QStringLiteral("\"%1\" is not the state file of a migration").arg(path_));
    if (state.value(QStringLiteral("source")).toString() != source_ ||
        state.value(QStringLiteral("database")).toString() != database_) {
        refuse(QStringLiteral("the state file \"%1\" is of the migration of \"%2\" into \"%3\"; "
                              "give this run another state file")
                   .arg(path_, state.value(QStringLiteral("source")).toString(),
                        state.value(QStringLiteral("database")).toString()));
    }
    const QJsonObject tables = state.value(QStringLiteral("tables")).toObject();
    for (auto it = tables.begin(); it != tables.end(); ++it) {
        const QString stage = it.value().toString();
        tables_.insert(it.key(), stage == QLatin1String("finished")    ? Stage::Finished
                                 : stage == QLatin1String("appending") ? Stage::Appending
                                                                       : Stage::Begun);
    }
}

bool MigrationState::finished(const QString& table) const {
    QMutexLocker lock(&mutex_);
    return tables_.value(table, Stage::Begun) == Stage::Finished;
}

bool MigrationState::appending(const QString& table) const {
    QMutexLocker lock(&mutex_);
    return tables_.value(table, Stage::Begun) == Stage::Appending;
}

bool MigrationState::begun(const QString& table) const {
    QMutexLocker lock(&mutex_);
    return tables_.contains(table);
}

void MigrationState::begin(const QString& table, bool appending) {
    QMutexLocker lock(&mutex_);
    tables_.insert(table, appending ? Stage::Appending : Stage::Begun);
    write();
}

void MigrationState::finish(const QString& table) {
    QMutexLocker lock(&mutex_);
    tables_.insert(table, Stage::Finished);
    write();
}

void MigrationState::complete() {
    if (kept()) QFile::remove(path_);
}

void MigrationState::write() const {
    if (!kept()) return;
    QJsonObject tables;
    for (auto it = tables_.begin(); it != tables_.end(); ++it) {
        tables.insert(it.key(), it.value() == Stage::Finished    ? QStringLiteral("finished")
                                : it.value() == Stage::Appending ? QStringLiteral("appending")
                                                                 : QStringLiteral("begun"));
    }
    const QJsonObject state{{QStringLiteral("kind"), QStringLiteral("keldara-migration")},
                            {QStringLiteral("source"), source_},
                            {QStringLiteral("database"), database_},
                            {QStringLiteral("tables"), tables}};
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(state).toJson()) < 0 ||
        !file.commit()) {
        refuse(QStringLiteral("cannot write the state file \"%1\": %2")
                   .arg(path_, file.errorString()));
    }
}

}  // namespace keldara::transfer::migration
