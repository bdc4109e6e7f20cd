#include "shell/ui/StatusBar.h"

#include <QHBoxLayout>

#include "shell/ui/Twips.h"

namespace keldara::shell {

StatusBar::StatusBar(QWidget* parent)
    : QWidget(parent),
      panel1_(new QLabel(this)),
      panel2_(new QLabel(this)),
      panel2Width_(toPixels(3000)) {
    setObjectName(QStringLiteral("SB"));
    for (QLabel* panel : {panel1_, panel2_}) {
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
    }
    panel1_->setObjectName(QStringLiteral("SB_panel_1"));
    panel2_->setObjectName(QStringLiteral("SB_panel_2"));
    panel1_->setText(QStringLiteral("Ready"));
}

void StatusBar::setPanelText(int panel, const QString& text) {
    (panel == 1 ? panel1_ : panel2_)->setText(text);
}

QString StatusBar::panelText(int panel) const {
    return (panel == 1 ? panel1_ : panel2_)->text();
}

int StatusBar::panelLeft(int panel) const {
    return (panel == 1 ? panel1_ : panel2_)->x();
}

int StatusBar::panelWidth(int panel) const {
    return (panel == 1 ? panel1_ : panel2_)->width();
}

void StatusBar::setPanelWidth(int panel, int pixels) {
    if (panel == 2) panel2Width_ = pixels;
    layoutPanels();
}

void StatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutPanels();
}

void StatusBar::layoutPanels() {
    const int gap = 2;
    const int w2 = std::min(panel2Width_, std::max(0, width() - gap));
    panel1_->setGeometry(0, 0, std::max(0, width() - w2 - gap), height());
    panel2_->setGeometry(width() - w2, 0, w2, height());
}

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setObjectName(QStringLiteral("PB"));
    setRange(0, Steps);
    setValue(0);
    setTextVisible(false);
    maximum_ = 100;
}

void ProgressBar::setMaximumValue(double maximum) {
    maximum_ = maximum;
    showFraction();
}

void ProgressBar::setCurrentValue(double value) {
    value_ = value;
    showFraction();
}

void ProgressBar::showFraction() {
    // A maximum of 0 is reached at once: the bar is full once the value gets there.
    const double fraction = maximum_ > 0 ? value_ / maximum_ : (value_ >= maximum_ ? 1.0 : 0.0);
    setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * Steps));
}

}  // namespace keldara::shell
