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
    return state;
}

void writeResumeState(const QString& path, const ResumeState& state) {
    const QJsonObject json{{QLatin1String("profile"), state.profile},
                           {QLatin1String("source"), state.source},
                           {QLatin1String("target"), state.target},
                           {QLatin1String("action"), state.action},
                           {QLatin1String("confirmed"), qint64{state.confirmed}},
                           {QLatin1String("inDoubtUntil"), qint64{state.inDoubtUntil}}};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(json).toJson()) < 0 ||
        !file.commit()) {
        throw SetupError{QStringLiteral("the state file \"%1\" cannot be written: %2")
                             .arg(path, file.errorString())};
    }
}

StateKeepingProgress::StateKeepingProgress(transfer::TransferProgress& shown, QString path,
                                           ResumeState state)
    : shown_(shown), path_(std::move(path)), state_(std::move(state)) {
    sinceWritten_.start();
}

// Until the run ends, every record after the last one confirmed may be written by the time
// the file is read again: a run ended without a word (killed) cannot say more.
void StateKeepingProgress::setProgressMaximum(long maximum) {
    total_ = state_.inDoubtUntil = maximum;
    writeResumeState(path_, state_);
    shown_.setProgressMaximum(maximum);
}

void StateKeepingProgress::recordsConfirmed(long records) {
    shown_.recordsConfirmed(records);
    if (sinceWritten_.elapsed() < kWriteIntervalMs) return;
    state_.confirmed = records;
    state_.inDoubtUntil = total_;
    writeResumeState(path_, state_);
    sinceWritten_.start();
}

void StateKeepingProgress::finish(const transfer::TransferResult& result) {
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
    writeResumeState(path_, state_);
}

}  // namespace keldara::cli
