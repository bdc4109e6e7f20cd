#include <dlfcn.h>
#include <libsecret/secret.h>

#include <QByteArray>
#include <cstring>
#include <optional>

#include "platform/PasswordKeyring.h"

namespace keldara::platform {

namespace {

// libsecret is opened when the keyring is first used, not linked: it and the GLib libraries it
// brings made every start of keldara-cli 5 ms slower, runs that never ask the keyring too.
// Without it there is no keyring.
struct SecretLibrary {
    decltype(&secret_service_get_sync) serviceGet = nullptr;
    decltype(&secret_password_store_sync) store = nullptr;
    decltype(&secret_password_lookup_sync) lookup = nullptr;
    decltype(&secret_password_free) free = nullptr;
    decltype(&secret_password_clear_sync) clear = nullptr;
    decltype(&g_object_unref) unref = nullptr;
    decltype(&g_error_free) freeError = nullptr;
};

constexpr const char* kSecretLibraryName = "libsecret-1.so.0";

template <class Function>
bool find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

std::optional<SecretLibrary> openSecretLibrary() {
    void* library = dlopen(kSecretLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return std::nullopt;
    SecretLibrary l;
    const bool complete = find(library, "secret_service_get_sync", l.serviceGet) &&
                          find(library, "secret_password_store_sync", l.store) &&
                          find(library, "secret_password_lookup_sync", l.lookup) &&
                          find(library, "secret_password_free", l.free) &&
                          find(library, "secret_password_clear_sync", l.clear) &&
                          find(library, "g_object_unref", l.unref) &&
                          find(library, "g_error_free", l.freeError);
    if (!complete) return std::nullopt;
    return l;  // kept open for the rest of the process
}

// The library's functions, or none where it cannot be opened.
const SecretLibrary* secretLibrary() {
    static const std::optional<SecretLibrary> library = openSecretLibrary();
    return library ? &*library : nullptr;
}

// The same; where the library cannot be opened, `error` says so.
const SecretLibrary* secretLibrary(QString& error) {
    const SecretLibrary* library = secretLibrary();
    if (library == nullptr) {
        error = QStringLiteral("No system keyring can be reached: %1 cannot be loaded.")
                    .arg(QLatin1String(kSecretLibraryName));
    }
    return library;
}

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
        secretLibrary()->freeError(error);
    }
    return text + QLatin1Char('.');
}

}  // namespace

bool SecretServiceKeyring::isAvailable() {
    const SecretLibrary* library = secretLibrary(error_);
    if (library == nullptr) return false;
    GError* error = nullptr;
    SecretService* service = library->serviceGet(SECRET_SERVICE_NONE, nullptr, &error);
    if (service == nullptr) {
        error_ = QStringLiteral("No system keyring is running (%1).")
                     .arg(error != nullptr ? QString::fromUtf8(error->message) : QString());
        if (error != nullptr) library->freeError(error);
        return false;
    }
    library->unref(service);
    return true;
}

bool SecretServiceKeyring::storePassword(const KeyringAccount& account, const QString& password) {
    const SecretLibrary* library = secretLibrary(error_);
    if (library == nullptr) return false;
    const Attributes a(account);
    QByteArray secret = password.toUtf8();
    const QByteArray label = QStringLiteral("Keldara MySQL password for %1@%2:%3")
                                 .arg(account.user, account.server, account.port)
                                 .toUtf8();
    GError* error = nullptr;
    const bool stored =
        library->store(schema(), SECRET_COLLECTION_DEFAULT, label.constData(), secret.constData(),
                       nullptr, &error, "server", a.server.constData(), "port", a.port.constData(),
                       "user", a.user.constData(), nullptr);
    std::memset(secret.data(), 0, static_cast<std::size_t>(secret.size()));
    if (!stored) error_ = failure(QStringLiteral("store"), account, error);
    return stored;
}

std::optional<QString> SecretServiceKeyring::findPassword(const KeyringAccount& account) {
    const SecretLibrary* library = secretLibrary(error_);
    if (library == nullptr) return std::nullopt;
    const Attributes a(account);
    GError* error = nullptr;
    gchar* secret =
        library->lookup(schema(), nullptr, &error, "server", a.server.constData(), "port",
                        a.port.constData(), "user", a.user.constData(), nullptr);
    if (secret == nullptr) {
        error_ = error != nullptr ? failure(QStringLiteral("read"), account, error)
                                  : QStringLiteral("The system keyring keeps no password for %1.")
                                        .arg(accountText(account));
        return std::nullopt;
    }
    const QString password = QString::fromUtf8(secret);
    library->free(secret);  // scrubs it
    return password;
}

bool SecretServiceKeyring::removePassword(const KeyringAccount& account) {
    const SecretLibrary* library = secretLibrary(error_);
    if (library == nullptr) return false;
    const Attributes a(account);
    GError* error = nullptr;
    const bool removed =
        library->clear(schema(), nullptr, &error, "server", a.server.constData(), "port",
                       a.port.constData(), "user", a.user.constData(), nullptr);
    if (error != nullptr) {
        error_ = failure(QStringLiteral("remove"), account, error);
        return false;
    }
    return removed;
}

}  // namespace keldara::platform
