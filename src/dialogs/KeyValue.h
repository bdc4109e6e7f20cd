#pragma once

#include <QString>

#include "platform/KeyStore.h"

namespace keldara::dialogs {

// Reads one value of the key store as text into keyVal: a string as it is, a 32-bit number
// as its signed decimal text; any other type leaves keyVal as it was. False, with keyVal
// empty, when the key or the value cannot be read.
bool GetKeyValue(platform::KeyStore& store, platform::KeyRoot keyRoot, const QString& keyName,
                 const QString& subKeyRef, QString& keyVal);

}  // namespace keldara::dialogs
