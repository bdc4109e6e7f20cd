#pragma once

#include <QStringList>
#include <QWidget>
#include <string>

namespace keldara::test {

// Each visible control of `window` lies whole inside it and inside every frame that holds it,
// shows its whole caption, and covers no other control except the `overlapping` ones, which
// lie over each other by design. Failures name the controls and `where`.
void expectEveryControlVisibleAndUncovered(QWidget* window, const std::string& where,
                                           const QStringList& overlapping = {});

}  // namespace keldara::test
