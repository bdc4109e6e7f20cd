#include "tools/cli/ResumeState.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include "tools/cli/CommandLine.h"

namespace keldara::cli {

namespace {

constexpr qint64 kWriteIntervalMs = 1000;

}  // namespace

bool ResumeState::sameRunAs(const ResumeState& other) const {
    return profile == other.profile && source == other.source && target == other.target &&
           action == other.action;
}

std::optional<ResumeState> readResumeState(const QString& path) {
    QFile file(path);
    if (!file.exists()) return std::nullopt;
    const QJsonObject json = file.open(QIODevice::ReadOnly)
                                 ? QJsonDocument::fromJson(file.readAll()).object()
                                 : QJsonObject();
    if (!json.contains(QLatin1String("confirmed"))) {
        throw SetupError{QStringLiteral("--resume \"%1\" is not a state file that keldara-cli "
                                        "wrote")
                             .arg(path)};
    }
    ResumeState state;
    state.profile = json.value(QLatin1String("profile")).toString();
    state.source = json.value(QLatin1String("source")).toString();
    state.target = json.value(QLatin1String("target")).toString();
    state.action = json.value(QLatin1String("action")).toString();
    state.confirmed = json.value(QLatin1String("confirmed")).toInteger();
    state.inDoubtUntil = json.value(QLatin1String("inDoubtUntil")).toInteger();
    state.refused = json.value(QLatin1String("refused")).toInteger();
    state.rejectsSize = json.value(QLatin1String("rejectsSize")).toInteger();
    state.rowsAtStart = json.value(QLatin1String("rowsAtStart")).toInteger(-1);
    return state;
}

void writeResumeState(const QString& path, const ResumeState& state) {
    const QJsonObject json{{QLatin1String("profile"), state.profile},
                           {QLatin1String("source"), state.source},
                           {QLatin1String("target"), state.target},
                           {QLatin1String("action"), state.action},
                           {QLatin1String("confirmed"), qint64{state.confirmed}},
                           {QLatin1String("inDoubtUntil"), qint64{state.inDoubtUntil}},
                           {QLatin1String("refused"), qint64{state.refused}},
                           {QLatin1String("rejectsSize"), state.rejectsSize},
                           {QLatin1String("rowsAtStart"), state.rowsAtStart}};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(json).toJson()) < 0 ||
        !file.commit()) {
        throw SetupError{QStringLiteral("the state file \"%1\" cannot be written: %2")
                             .arg(path, file.errorString())};
    }
}

StateKeepingProgress::StateKeepingProgress(transfer::TransferProgress& shown, QString path,
                                           ResumeState state, const transfer::RejectsFile* rejects)
    : shown_(shown), rejects_(rejects), path_(std::move(path)), state_(std::move(state)) {
    sinceWritten_.start();
}

// Until the run ends, every record after the last one confirmed may be written by the time
// the file is read again: a run ended without a word (killed) cannot say more. Records are
// written only once the table is counted, before the first of them.
void StateKeepingProgress::setProgressMaximum(long maximum) {
    total_ = maximum;
    write();
    shown_.setProgressMaximum(maximum);
}

// A resumed run keeps the count its first part began from.
void StateKeepingProgress::tableCounted(long long rows) {
    if (state_.rowsAtStart < 0) state_.rowsAtStart = rows;
    state_.inDoubtUntil = total_;
    write();
}

void StateKeepingProgress::recordsConfirmed(long records) {
    shown_.recordsConfirmed(records);
    if (sinceWritten_.elapsed() < kWriteIntervalMs) return;
    state_.confirmed = records;
    state_.inDoubtUntil = total_;
    write();
    sinceWritten_.start();
}

// The rejects file holds the refused records up to the last confirmed one (each listed
// before its record is confirmed).
void StateKeepingProgress::write() {
    if (rejects_) {
        state_.refused = rejects_->count();
        state_.rejectsSize = rejects_->size();
    }
    writeResumeState(path_, state_);
}

void StateKeepingProgress::runEnded(const transfer::TransferResult& result) {
    if (result.completed()) {
        QFile::remove(path_);
        return;
    }
    if (result.undone) {
        state_.confirmed = state_.inDoubtUntil = 0;
    } else if (result.connectionLost) {
        state_.confirmed = result.endedAtRecord - 1;
        state_.inDoubtUntil = result.inFlightLast;
    } else if (result.endedAtRecord > 0) {
        state_.confirmed = result.endedAtRecord - 1;
        state_.inDoubtUntil = 0;
    }
    write();
}

}  // namespace keldara::cli
