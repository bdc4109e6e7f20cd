#include "dialogs/KeyValue.h"

#include <QtEndian>

namespace keldara::dialogs {

namespace {
constexpr qsizetype BufferSize = 1024;
}

bool GetKeyValue(platform::KeyStore& store, platform::KeyRoot keyRoot, const QString& keyName,
                 const QString& subKeyRef, QString& keyVal) {
    const auto value = store.queryValue(keyRoot, keyName, subKeyRef);
    if (!value || value->data.size() > BufferSize) {
        keyVal.clear();
        return false;
    }
    QByteArray bytes = value->data;
    if (bytes.endsWith('\0')) bytes.chop(1);
    switch (value->type) {
        case platform::KeyValue::RegSz:
            keyVal = QString::fromLocal8Bit(bytes);
            break;
        case platform::KeyValue::RegDword:
            if (value->data.size() != 4) {
                keyVal.clear();
                return false;
            }
            keyVal = QString::number(qFromLittleEndian<qint32>(value->data.constData()));
            break;
        default:
            break;
    }
    return true;
}

}  // namespace keldara::dialogs
