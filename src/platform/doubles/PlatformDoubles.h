#pragma once

#include <QList>
#include <QMap>
#include <QStringList>
#include <deque>

#include "platform/Platform.h"

// Test doubles of the platform facilities: each records what it was asked and can be told
// its next answers. None of them ever opens a window.
namespace keldara::platform {

class FakeMessageBoxes : public MessageBoxes {
  public:
    MessageAnswer show(const MessageRequest& request) override;
    void queueAnswer(MessageAnswer answer) { answers_.push_back(answer); }

    QList<MessageRequest> shown;

  private:
    std::deque<MessageAnswer> answers_;
};

class FakeFileDialogs : public FileDialogs {
  public:
    std::optional<QString> showOpen(const FileDialogRequest& request) override;
    std::optional<QString> showSave(const FileDialogRequest& request) override;
    std::optional<QString> showFont(const FileDialogRequest& request) override;
    // The next dialog's answer; nothing stands for a cancel. Unqueued dialogs cancel.
    void queueAnswer(std::optional<QString> answer) { answers_.push_back(std::move(answer)); }

    struct Call {
        QString kind;  // "open", "save" or "font"
        FileDialogRequest request;
    };
    QList<Call> calls;

  private:
    std::optional<QString> answer(const QString& kind, const FileDialogRequest& request);
    std::deque<std::optional<QString>> answers_;
};

class MemorySettingsStore : public SettingsStore {
  public:
    QList<QPair<QString, QString>> allSettings(const QString& app, const QString& section) override;
    void saveSetting(const QString& app, const QString& section, const QString& key,
                     const QString& value) override;
    void deleteSection(const QString& app, const QString& section) override;

    // app + "/" + section -> pairs in insertion order
    QMap<QString, QList<QPair<QString, QString>>> sections;
    int writes = 0;
};

class MemoryKeyStore : public KeyStore {
  public:
    std::optional<KeyValue> queryValue(KeyRoot root, const QString& keyName,
                                       const QString& valueName) override;
    void set(const QString& keyName, const QString& valueName, KeyValue value);

  private:
    QMap<QString, KeyValue> values_;
};

class FakeProcessStarter : public ProcessStarter {
  public:
    bool startDetached(const QString& program, const QStringList& arguments = {}) override;

    QStringList started;  // each program, followed by its arguments separated by blanks
    bool succeed = true;
};

// A keyring in memory; `available` false plays a session without one.
class MemoryKeyring : public PasswordKeyring {
  public:
    bool isAvailable() override { return available; }
    bool storePassword(const KeyringAccount& account, const QString& password) override;
    std::optional<QString> findPassword(const KeyringAccount& account) override;
    bool removePassword(const KeyringAccount& account) override;
    QString errorString() const override;

    bool available = true;
    QMap<QString, QString> passwords;  // "server:port:user" -> password
};

// Memory as the test says; plenty unless told otherwise.
class FakeMemoryGauge : public MemoryGauge {
  public:
    std::optional<qint64> availableBytes() override { return available; }

    std::optional<qint64> available = qint64(64) << 30;
};

// All doubles together, ready to hand to a window.
struct PlatformDoubles {
    FakeMessageBoxes messages;
    FakeFileDialogs files;
    MemorySettingsStore settings;
    MemoryKeyStore keys;
    FakeProcessStarter processes;
    MemoryKeyring keyring;
    FakeMemoryGauge memory;

    Platform platform() {
        return Platform{messages, files, settings, keys, processes, keyring, memory};
    }
};

}  // namespace keldara::platform
