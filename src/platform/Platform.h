#pragma once

#include "platform/FileDialogs.h"
#include "platform/KeyStore.h"
#include "platform/MemoryGauge.h"
#include "platform/MessageBoxes.h"
#include "platform/PasswordKeyring.h"
#include "platform/ProcessStarter.h"
#include "platform/SettingsStore.h"

namespace keldara::platform {

// The platform facilities the windows use, handed to them at construction.
struct Platform {
    MessageBoxes& messages;
    FileDialogs& files;
    SettingsStore& settings;
    KeyStore& keys;
    ProcessStarter& processes;
    PasswordKeyring& keyring;
    MemoryGauge& memory;
};

}  // namespace keldara::platform
