#pragma once

#include <QString>
#include <optional>

namespace keldara::platform {

// What a MySQL password is kept under: the server, port and user it opens.
struct KeyringAccount {
    QString server;
    QString port;
    QString user;
};

// The desktop's keyring for MySQL passwords. Ask isAvailable() before offering to keep a
// password in it; a failed operation leaves its reason in errorString(), which names the
// operation and the account, never the password.
class PasswordKeyring {
  public:
    virtual ~PasswordKeyring() = default;
    virtual bool isAvailable() = 0;
    virtual bool storePassword(const KeyringAccount& account, const QString& password) = 0;
    // Nothing when no password is kept for the account or the keyring cannot be read.
    virtual std::optional<QString> findPassword(const KeyringAccount& account) = 0;
    virtual bool removePassword(const KeyringAccount& account) = 0;
    virtual QString errorString() const = 0;
};

// No keyring: nothing is kept, every operation fails.
class NoPasswordKeyring : public PasswordKeyring {
  public:
    bool isAvailable() override { return false; }
    bool storePassword(const KeyringAccount&, const QString&) override { return false; }
    std::optional<QString> findPassword(const KeyringAccount&) override { return std::nullopt; }
    bool removePassword(const KeyringAccount&) override { return false; }
    QString errorString() const override { return QStringLiteral("No keyring is available."); }
};

// The Secret Service of the desktop session (GNOME Keyring, KWallet and others) through
// libsecret, reached over the session's D-Bus. Passwords go into the default collection.
class SecretServiceKeyring : public PasswordKeyring {
  public:
    bool isAvailable() override;
    bool storePassword(const KeyringAccount& account, const QString& password) override;
    std::optional<QString> findPassword(const KeyringAccount& account) override;
    bool removePassword(const KeyringAccount& account) override;
    QString errorString() const override { return error_; }

  private:
    QString error_;
};

}  // namespace keldara::platform
