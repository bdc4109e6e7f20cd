#include "tools/cli/ProgressReporter.h"

#include <csignal>

namespace keldara::cli {

namespace {

constexpr qint64 kBarRedrawMs = 100;
constexpr int kBarWidth = 30;

volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) {
    stopSignal = 1;
    std::signal(signal, SIG_DFL);
}

QString bar(long value, long maximum) {
    const int filled = maximum > 0 ? static_cast<int>(kBarWidth * value / maximum) : 0;
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(kBarWidth - filled, QLatin1Char('-')) + QLatin1Char(']');
}

}  // namespace

QString durationText(double seconds) {
    if (seconds < 60) return QString::number(seconds, 'f', 1) + QStringLiteral(" s");
    const long whole = static_cast<long>(seconds);
    const QString minutesSeconds =
        QStringLiteral("%1:%2").arg(whole / 60 % 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
    if (whole < 3600) return minutesSeconds;
    return QStringLiteral("%1:%2").arg(whole / 3600).arg(minutesSeconds.rightJustified(5, '0'));
}

ProgressReporter::ProgressReporter(std::FILE* out, bool terminal, double lineSeconds)
    : out_(out), terminal_(terminal) {
    if (lineSeconds <= 0) {
        intervalMs_ = -1;
    } else {
        intervalMs_ = terminal ? kBarRedrawMs : static_cast<qint64>(lineSeconds * 1000);
    }
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    started_.start();
}

void ProgressReporter::setProgressMaximum(long maximum) {
    maximum_ = maximum;
    started_.restart();
    lastReportMs_ = 0;
}

void ProgressReporter::setProgressValue(long value) {
    // The engine reports a record as it starts it: the records before it are done.
    value_ = value - 1;
    if (intervalMs_ < 0) return;
    const qint64 now = started_.elapsed();
    if (now - lastReportMs_ < intervalMs_) return;
    lastReportMs_ = now;
    report();
}

bool ProgressReporter::stopRequested() {
    return stopSignal != 0;
}

void ProgressReporter::notice(const QString& text) {
    finish();
    std::fputs(QStringLiteral("keldara-cli: %1\n").arg(text).toUtf8().constData(), out_);
    std::fflush(out_);
}

void ProgressReporter::report() {
    const double seconds = started_.elapsed() / 1000.0;
    const double rate = seconds > 0 ? value_ / seconds : 0;
    const QString left = rate > 0 ? durationText((maximum_ - value_) / rate) : QStringLiteral("?");
    QString text;
    if (terminal_) {
        text = QStringLiteral("\r%1 %2/%3 records  %4 rec/s  %5 left\x1b[K")
                   .arg(bar(value_, maximum_))
                   .arg(value_)
                   .arg(maximum_)
                   .arg(qRound(rate))
                   .arg(left);
        barShown_ = true;
    } else {
        text = QStringLiteral("keldara-cli: %1 of %2 records, %3 records/s, %4 left\n")
                   .arg(value_)
                   .arg(maximum_)
                   .arg(qRound(rate))
                   .arg(left);
    }
    std::fputs(text.toUtf8().constData(), out_);
    std::fflush(out_);
}

void ProgressReporter::finish() {
    if (!barShown_) return;
    barShown_ = false;
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
}

}  // namespace keldara::cli
