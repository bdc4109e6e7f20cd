#include "window/ui/SplashScreen.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

#include "shell/ui/Logo.h"
#include "shell/ui/Twips.h"

namespace keldara::shell {

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent,
              Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool) {
    setObjectName("frmSplashScreen");
    setWindowTitle("Tamrix Keldara");
    setFixedSize(toPixels(8055), toPixels(3975));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xee, 0xf3, 0xf8));
    setPalette(palette);

    auto* logo = new QLabel(this);
    logo->setObjectName("Image1");
    placeTw(logo, 360, 360, 2000, 2000);
    logo->setPixmap(productLogo(logo->size()));
    auto* title = new QLabel("Tamrix Keldara", this);
    title->setObjectName("lblTitle");
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    title->setFont(big);
    placeTw(title, 2700, 900, 5000, 700);
    auto* loading = new QLabel("Loading...", this);
    loading->setObjectName("Label2");
    placeTw(loading, 360, 2800, 3000, 300);

    progLoad_ = new QProgressBar(this);
    progLoad_->setObjectName("ProgLoad");
    progLoad_->setRange(0, 100);
    progLoad_->setValue(0);
    progLoad_->setTextVisible(false);
    placeTw(progLoad_, 360, 3200, 7335, 300);

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(100);
    connect(timer1_, &QTimer::timeout, this, &SplashScreen::Timer1_Timer);
    timer1_->start();

    // Centred on the screen, the differences halved by whole twips.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        const int dx = static_cast<int>(toTwips(area.width() - width())) / 2;
        const int dy = static_cast<int>(toTwips(area.height() - height())) / 2;
        move(area.x() + toPixels(dx), area.y() + toPixels(dy));
    }
}

void SplashScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    raise();
}

void SplashScreen::Timer1_Timer() {
    if (progLoad_->value() >= 100) return;
    progLoad_->setValue(std::min(100, progLoad_->value() + 5));
    if (progLoad_->value() == 100) {
        timer1_->stop();
        close();
        emit finished();
    }
}

}  // namespace keldara::shell
