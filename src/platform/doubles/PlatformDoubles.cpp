#include "platform/doubles/PlatformDoubles.h"

namespace keldara::platform {

MessageAnswer FakeMessageBoxes::show(const MessageRequest& request) {
    shown.append(request);
    if (answers_.empty()) {
        return request.buttons == MessageButtons::YesNo ||
                       request.buttons == MessageButtons::YesNoCancel
                   ? MessageAnswer::Yes
                   : MessageAnswer::Ok;
    }
    const MessageAnswer next = answers_.front();
    answers_.pop_front();
    return next;
}

std::optional<QString> FakeFileDialogs::answer(const QString& kind,
                                               const FileDialogRequest& request) {
    calls.append({kind, request});
    if (answers_.empty()) return std::nullopt;
    auto next = answers_.front();
    answers_.pop_front();
    return next;
}

std::optional<QString> FakeFileDialogs::showOpen(const FileDialogRequest& request) {
    return answer(QStringLiteral("open"), request);
}

std::optional<QString> FakeFileDialogs::showSave(const FileDialogRequest& request) {
    return answer(QStringLiteral("save"), request);
}

std::optional<QString> FakeFileDialogs::showFont(const FileDialogRequest& request) {
    return answer(QStringLiteral("font"), request);
}

QList<QPair<QString, QString>> MemorySettingsStore::allSettings(const QString& app,
                                                                const QString& section) {
    return sections.value(app + QLatin1Char('/') + section);
}

void MemorySettingsStore::saveSetting(const QString& app, const QString& section,
                                      const QString& key, const QString& value) {
    ++writes;
    auto& pairs = sections[app + QLatin1Char('/') + section];
    for (auto& pair : pairs) {
        if (pair.first == key) {
            pair.second = value;
            return;
        }
    }
    pairs.append({key, value});
}

void MemorySettingsStore::deleteSection(const QString& app, const QString& section) {
    ++writes;
    sections.remove(app + QLatin1Char('/') + section);
}

std::optional<KeyValue> MemoryKeyStore::queryValue(KeyRoot, const QString& keyName,
                                                   const QString& valueName) {
    const QString path = keyName + QLatin1Char('|') + valueName;
    if (!values_.contains(path)) return std::nullopt;
    return values_.value(path);
}

void MemoryKeyStore::set(const QString& keyName, const QString& valueName, KeyValue value) {
    values_.insert(keyName + QLatin1Char('|') + valueName, std::move(value));
}

bool FakeProcessStarter::startDetached(const QString& program, const QStringList& arguments) {
    started.append((QStringList{program} + arguments).join(QLatin1Char(' ')));
    return succeed;
}

namespace {
QString accountKey(const KeyringAccount& account) {
    return account.server + QLatin1Char(':') + account.port + QLatin1Char(':') + account.user;
}
}  // namespace

bool MemoryKeyring::storePassword(const KeyringAccount& account, const QString& password) {
    if (!available) return false;
    passwords.insert(accountKey(account), password);
    return true;
}

std::optional<QString> MemoryKeyring::findPassword(const KeyringAccount& account) {
    if (!available || !passwords.contains(accountKey(account))) return std::nullopt;
    return passwords.value(accountKey(account));
}

bool MemoryKeyring::removePassword(const KeyringAccount& account) {
    return available && passwords.remove(accountKey(account)) > 0;
}

QString MemoryKeyring::errorString() const {
    return available ? QStringLiteral("No such password.") : QStringLiteral("No keyring.");
}

}  // namespace keldara::platform
