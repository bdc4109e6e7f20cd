#pragma once

#include <memory>

#include "platform/dao/Connection.h"

// One factory per provider folder.
namespace keldara::dao {
std::unique_ptr<Connection> makeAccessConnection();
std::unique_ptr<Connection> makeExcelConnection();
std::unique_ptr<Connection> makeTextConnection();
std::unique_ptr<Connection> makeDBaseConnection();
std::unique_ptr<Connection> makeMySqlConnection();
}  // namespace keldara::dao
