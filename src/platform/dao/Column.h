#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

#include "platform/dao/Value.h"

namespace keldara::dao {

// The values of one column, stored compactly: a kind byte and an eight-byte payload per
// cell; texts, decimals and bytes live in their own vectors and the payload indexes them.
class Column {
  public:
    void append(const Value& value);
    Value at(std::size_t row) const;
    ValueKind kindAt(std::size_t row) const { return kinds_[row]; }
    std::size_t size() const { return kinds_.size(); }
    void reserve(std::size_t rows);

  private:
    std::vector<ValueKind> kinds_;
    std::vector<std::uint64_t> payloads_;
    std::vector<QString> texts_;
    std::vector<QByteArray> bytes_;
};

}  // namespace keldara::dao
