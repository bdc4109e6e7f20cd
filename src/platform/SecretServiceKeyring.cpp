#include <libsecret/secret.h>

#include <QByteArray>
#include <cstring>

#include "platform/PasswordKeyring.h"

namespace keldara::platform {

namespace {

// The schema of Keldara's entries: one per server, port and user.
const SecretSchema* schema() {
    static const SecretSchema keldaraSchema = {"org.tamrix.Keldara.MySqlPassword",
                                               SECRET_SCHEMA_NONE,
                                               {{"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                                {"port", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                                {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                                {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                               0,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr};
    return &keldaraSchema;
}

// The account's attributes as libsecret takes them.
struct Attributes {
    explicit Attributes(const KeyringAccount& account)
        : server(account.server.trimmed().toUtf8()),
          port(account.port.trimmed().toUtf8()),
          user(account.user.toUtf8()) {}
    QByteArray server, port, user;
};

QString accountText(const KeyringAccount& account) {
    return QStringLiteral("server '%1', port %2, user '%3'")
        .arg(account.server, account.port, account.user);
}

// The operation's failure text; takes the error.
QString failure(const QString& operation, const KeyringAccount& account, GError* error) {
    QString text = QStringLiteral("Failed to %1 the password of %2 in the system keyring")
                       .arg(operation, accountText(account));
    if (error != nullptr) {
        text += QStringLiteral(": ") + QString::fromUtf8(error->message);
        g_error_free(error);
    }
    return text + QLatin1Char('.');
}

}  // namespace

bool SecretServiceKeyring::isAvailable() {
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    if (service == nullptr) {
        error_ = QStringLiteral("No system keyring is running (%1).")
                     .arg(error != nullptr ? QString::fromUtf8(error->message) : QString());
        if (error != nullptr) g_error_free(error);
        return false;
    }
    g_object_unref(service);
    return true;
}

bool SecretServiceKeyring::storePassword(const KeyringAccount& account, const QString& password) {
    const Attributes a(account);
    QByteArray secret = password.toUtf8();
    const QByteArray label = QStringLiteral("Keldara MySQL password for %1@%2:%3")
                                 .arg(account.user, account.server, account.port)
                                 .toUtf8();
    GError* error = nullptr;
    const bool stored = secret_password_store_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.constData(), secret.constData(), nullptr, &error,
        "server", a.server.constData(), "port", a.port.constData(), "user", a.user.constData(),
        nullptr);
    std::memset(secret.data(), 0, static_cast<std::size_t>(secret.size()));
    if (!stored) error_ = failure(QStringLiteral("store"), account, error);
    return stored;
}

std::optional<QString> SecretServiceKeyring::findPassword(const KeyringAccount& account) {
    const Attributes a(account);
    GError* error = nullptr;
    gchar* secret = secret_password_lookup_sync(schema(), nullptr, &error, "server",
                                                a.server.constData(), "port", a.port.constData(),
                                                "user", a.user.constData(), nullptr);
    if (secret == nullptr) {
        error_ = error != nullptr ? failure(QStringLiteral("read"), account, error)
                                  : QStringLiteral("The system keyring keeps no password for %1.")
                                        .arg(accountText(account));
        return std::nullopt;
    }
    const QString password = QString::fromUtf8(secret);
    secret_password_free(secret);  // scrubs it
    return password;
}

bool SecretServiceKeyring::removePassword(const KeyringAccount& account) {
    const Attributes a(account);
    GError* error = nullptr;
    const bool removed =
        secret_password_clear_sync(schema(), nullptr, &error, "server", a.server.constData(),
                                   "port", a.port.constData(), "user", a.user.constData(), nullptr);
    if (error != nullptr) {
        error_ = failure(QStringLiteral("remove"), account, error);
        return false;
    }
    return removed;
}

}  // namespace keldara::platform
