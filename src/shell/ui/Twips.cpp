#include "shell/ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace keldara::shell {

double twipsPerPixel() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(double twips) {
    return static_cast<int>(std::lround(twips / twipsPerPixel()));
}

float toTwips(int pixels) {
    return static_cast<float>(pixels * twipsPerPixel());
}

void placeTw(QWidget* widget, double left, double top, double width, double height) {
    widget->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

RectTw geometryTw(const QWidget* widget) {
    const QRect g = widget->geometry();
    return {toTwips(g.x()), toTwips(g.y()), toTwips(g.width()), toTwips(g.height())};
}

}  // namespace keldara::shell
