#include "platform/dao/access/JetText.h"

namespace keldara::dao::access {

namespace {

QString fromUtf16Le(const char* data, qsizetype length) {
    QString text(length / 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i + 1 < length; i += 2) {
        out[i / 2] = QChar(static_cast<char16_t>(static_cast<quint8>(data[i]) |
                                                 (static_cast<quint8>(data[i + 1]) << 8)));
    }
    return text;
}

}  // namespace

QString decodeJet4Text(const char* data, qsizetype length) {
    const bool compressed =
        length >= 2 && static_cast<quint8>(data[0]) == 0xFF && static_cast<quint8>(data[1]) == 0xFE;
    if (!compressed) return fromUtf16Le(data, length);
    // Written straight into the text's buffer: appending a character at a time costs more
    // than the decoding.
    QString text(length, Qt::Uninitialized);
    char16_t* const first = reinterpret_cast<char16_t*>(text.data());
    char16_t* out = first;
    bool oneByteMode = true;
    qsizetype i = 2;
    while (i < length) {
        const auto byte = static_cast<quint8>(data[i]);
        if (byte == 0) {
            oneByteMode = !oneByteMode;
            ++i;
        } else if (oneByteMode) {
            *out++ = static_cast<char16_t>(byte);
            ++i;
        } else if (i + 1 < length) {
            *out++ = static_cast<char16_t>(byte | (static_cast<quint8>(data[i + 1]) << 8));
            i += 2;
        } else {
            break;
        }
    }
    text.truncate(out - first);
    return text;
}

}  // namespace keldara::dao::access
