#pragma once

#include <QString>

namespace keldara::cli {

// A MySQL target named as mysql://USER@HOST[:PORT]/DATABASE, with /TABLE after the database
// where a table is named. Names with blanks or other characters a URL does not hold are
// percent-encoded (%20). A password is never part of it.
struct TargetUrl {
    QString user;
    QString host;
    QString port = QStringLiteral("3306");
    QString database;
    QString table;
};

// Throws SetupError naming what is wrong, pointing to `helpCommand`. `withTable`: the URL must
// name a table; otherwise it must not.
TargetUrl parseTargetUrl(const QString& text, bool withTable, const QString& helpCommand);

}  // namespace keldara::cli
