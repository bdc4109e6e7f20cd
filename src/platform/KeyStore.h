#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace keldara::platform {

// A registry-like store of typed values under keys.
enum class KeyRoot { LocalMachine, CurrentUser };

struct KeyValue {
    static constexpr int RegSz = 1;
    static constexpr int RegDword = 4;
    int type = RegSz;
    QByteArray data;  // the raw bytes, as the store holds them
};

class KeyStore {
  public:
    virtual ~KeyStore() = default;
    // Nothing when the key cannot be opened or the value cannot be read.
    virtual std::optional<KeyValue> queryValue(KeyRoot root, const QString& keyName,
                                               const QString& valueName) = 0;
};

// This platform has no such store: every key is missing.
class EmptyKeyStore : public KeyStore {
  public:
    std::optional<KeyValue> queryValue(KeyRoot, const QString&, const QString&) override {
        return std::nullopt;
    }
};

}  // namespace keldara::platform
