#pragma once

#include <cstdio>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

namespace keldara::cli {

// Stands in for the target connection of a dry run: each statement is printed, one a line
// with a ";", and nothing is sent. It can do nothing else.
class StatementPrinter final : public dao::Connection {
  public:
    explicit StatementPrinter(std::FILE* out) : out_(out) {}

    void execute(const QString& sql) override {
        const QByteArray line = (sql + QStringLiteral(";\n")).toUtf8();
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), out_);
    }
    void open(const QString&) override { refuse(); }
    bool isOpen() const override { return true; }
    void close() override {}
    std::unique_ptr<dao::Recordset> openTableCatalogue() override { refuse(); }
    std::unique_ptr<dao::Recordset> openRecordset(const QString&) override { refuse(); }

  private:
    [[noreturn]] static void refuse() {
        throw dao::DaoError(dao::DaoError::General,
                            QStringLiteral("A dry run only prints statements."));
    }

    std::FILE* out_;
};

}  // namespace keldara::cli
