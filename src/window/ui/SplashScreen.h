#pragma once

#include <QWidget>

class QProgressBar;
class QTimer;

namespace keldara::shell {

// frmSplashScreen: shown for about two seconds while the program starts.
class SplashScreen : public QWidget {
    Q_OBJECT
  public:
    explicit SplashScreen(QWidget* parent = nullptr);

    // One tick of Timer1: 5 more on the bar; at 100 the splash closes and hands over.
    void Timer1_Timer();
    QProgressBar* ProgLoad() const { return progLoad_; }

  signals:
    void finished();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QProgressBar* progLoad_;
    QTimer* timer1_;
};

}  // namespace keldara::shell
