#include "platform/dao/access/JetHeader.h"

#include <QtEndian>
#include <array>
#include <cmath>

namespace keldara::dao::access {

namespace {

constexpr int kVersionOffset = 0x14;
constexpr int kHiddenHeaderOffset = 0x18;
constexpr int kJet3HiddenLength = 126;
constexpr int kJet4HiddenLength = 128;
constexpr int kPageKeyOffset = 0x3E;
constexpr int kPasswordOffset = 0x42;
constexpr int kJet3PasswordLength = 20;
constexpr int kJet4PasswordLength = 40;
constexpr int kCreationDateOffset = 0x72;
constexpr quint32 kHeaderKey = 0x6B39DAC7;
// Access 2007 writes version 2; 2010, 2013, 2016 and 2019 count on up to 6.
constexpr quint8 kFirstAceVersion = 2;
constexpr quint8 kLastAceVersion = 6;

const QByteArray& jetMagic() {
    static const QByteArray magic = QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    return magic;
}

const QByteArray& aceMagic() {
    static const QByteArray magic = QByteArray("\x00\x01\x00\x00Standard ACE DB\x00", 20);
    return magic;
}

QByteArray withoutTrailingZeros(QByteArray bytes) {
    while (!bytes.isEmpty() && bytes.back() == '\0') bytes.chop(1);
    return bytes;
}

// Jet 4 masks the password once more with the whole days of the creation date.
void unmaskJet4Password(const QByteArray& header, QByteArray& password) {
    const double created = qFromLittleEndian<double>(header.constData() + kCreationDateOffset);
    if (!std::isfinite(created) || created < INT32_MIN || created > INT32_MAX) return;
    const auto days = static_cast<qint32>(created);
    std::array<char, 4> mask{};
    qToLittleEndian(days, mask.data());
    for (qsizetype i = 0; i < password.size(); ++i) password[i] = password[i] ^ mask[i % 4];
}

}  // namespace

void rc4Apply(const QByteArray& key, char* data, qsizetype length) {
    std::array<quint8, 256> state{};
    for (int i = 0; i < 256; ++i) state[i] = static_cast<quint8>(i);
    quint8 j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<quint8>(j + state[i] + static_cast<quint8>(key[i % key.size()]));
        std::swap(state[i], state[j]);
    }
    quint8 x = 0;
    quint8 y = 0;
    for (qsizetype n = 0; n < length; ++n) {
        x = static_cast<quint8>(x + 1);
        y = static_cast<quint8>(y + state[x]);
        std::swap(state[x], state[y]);
        data[n] = static_cast<char>(static_cast<quint8>(data[n]) ^
                                    state[static_cast<quint8>(state[x] + state[y])]);
    }
}

std::optional<JetHeader> parseJetHeader(const QByteArray& firstPage, QString* reason) {
    const auto fail = [reason](const QString& why) {
        if (reason) *reason = why;
        return std::nullopt;
    };
    if (firstPage.size() < kHiddenHeaderOffset + kJet4HiddenLength) {
        return fail(QStringLiteral("the file is too short to be an Access database"));
    }
    const bool ace = firstPage.startsWith(aceMagic());
    if (!ace && !firstPage.startsWith(jetMagic())) {
        return fail(QStringLiteral("the file is not an Access database"));
    }
    JetHeader header;
    // One byte: Access 2010 and later may set the byte after it.
    const auto version = static_cast<quint8>(firstPage[kVersionOffset]);
    if (ace && version >= kFirstAceVersion && version <= kLastAceVersion) {
        header.version = JetVersion::Ace;
    } else if (!ace && version == 0) {
        header.version = JetVersion::Jet3;
        header.pageSize = 2048;
    } else if (!ace && version == 1) {
        header.version = JetVersion::Jet4;
    } else {
        return fail(QStringLiteral("its database format version (%1) is not Jet 3, Jet 4 or "
                                   "Access 2007 to 2019")
                        .arg(version));
    }

    QByteArray plain = firstPage.left(kHiddenHeaderOffset + kJet4HiddenLength);
    QByteArray key(4, '\0');
    qToLittleEndian(kHeaderKey, key.data());
    const int hiddenLength =
        header.version == JetVersion::Jet3 ? kJet3HiddenLength : kJet4HiddenLength;
    rc4Apply(key, plain.data() + kHiddenHeaderOffset, hiddenLength);

    header.pageKey = qFromLittleEndian<quint32>(plain.constData() + kPageKeyOffset);
    if (header.version == JetVersion::Jet3) {
        header.jet3Password = withoutTrailingZeros(plain.mid(kPasswordOffset, kJet3PasswordLength));
    } else {
        QByteArray password = plain.mid(kPasswordOffset, kJet4PasswordLength);
        unmaskJet4Password(plain, password);
        QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(password.constData()),
                                          password.size() / 2);
        while (!text.isEmpty() && text.back() == QChar(u'\0')) text.chop(1);
        header.jet4Password = text;
    }
    return header;
}

}  // namespace keldara::dao::access
