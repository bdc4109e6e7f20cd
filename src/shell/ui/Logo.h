#pragma once

#include <QPixmap>
#include <QSize>

namespace keldara::shell {

// The product logo, drawn at the given size.
QPixmap productLogo(QSize size);

}  // namespace keldara::shell
