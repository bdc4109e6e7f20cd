#pragma once

#include <QRect>
#include <QWidget>

#include "shell/LayoutTwips.h"

namespace keldara::shell {

// Conversion between twips (1/1440 inch) and the screen's pixels.
double twipsPerPixel();
int toPixels(double twips);
float toTwips(int pixels);

// Places a widget at a rectangle given in twips, relative to its parent.
void placeTw(QWidget* widget, double left, double top, double width, double height);
RectTw geometryTw(const QWidget* widget);

}  // namespace keldara::shell
