#pragma once

#include <QString>

namespace keldara::dao::mysql {

// A name between back-quotes exactly as given, with an embedded back-quote doubled.
QString QuoteIdentifier(const QString& name);

}  // namespace keldara::dao::mysql
