#pragma once

#include <QString>

#include "platform/dao/mysql/TlsSettings.h"

namespace keldara::shell {

// The connection choices of a job, as plain texts: what a profile file keeps and what the
// source and target rooms show and fill in.
struct Profile {
    QString sourceFile;
    QString sourceTable;
    QString server;
    QString user;
    QString password;
    QString database;
    QString targetTable;
    QString port;  // decimal text, as the port box shows it
    // How the target connection is encrypted. Off, the file is in the format every reader
    // knows; on, it carries a TLS block that readers without TLS refuse (see serializeRecord).
    dao::mysql::TlsSettings tls;
};

}  // namespace keldara::shell
