#pragma once

#include <QString>

namespace keldara::cli {

// The MySQL password for `user` at `server`:`port`: KELDARA_MYSQL_PASSWORD when set and not
// empty; else the one the system keyring keeps for them; else `kept` (a profile's own); else,
// with `mayAsk` and a terminal on standard input, the one typed at a prompt (not shown).
QString targetPassword(const QString& server, const QString& port, const QString& user,
                       const QString& kept, bool mayAsk);

}  // namespace keldara::cli
