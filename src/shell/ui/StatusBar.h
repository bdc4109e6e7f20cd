#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

namespace keldara::shell {

// The status bar SB: panel 1 holds the status text, panel 2 (at the right) lies under the
// progress bar. Panels are numbered from 1.
class StatusBar : public QWidget {
    Q_OBJECT
  public:
    explicit StatusBar(QWidget* parent);

    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    int panelCount() const { return 2; }
    // Panel geometry in pixels, from the status bar's left edge.
    int panelLeft(int panel) const;
    int panelWidth(int panel) const;
    void setPanelWidth(int panel, int pixels);
    // Brings the panel positions up to date with the bar's current size.
    void layoutPanels();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QLabel* panel1_;
    QLabel* panel2_;
    int panel2Width_;
};

// The progress bar PB: a floating-point range from 0 to a maximum, which may be 0.
class ProgressBar : public QProgressBar {
    Q_OBJECT
  public:
    explicit ProgressBar(QWidget* parent);

    void setMaximumValue(double maximum);
    void setCurrentValue(double value);
    double maximumValue() const { return maximum_; }
    double currentValue() const { return value_; }

  private:
    void showFraction();
    static constexpr int Steps = 1000;
    double maximum_ = 100;
    double value_ = 0;
};

}  // namespace keldara::shell
