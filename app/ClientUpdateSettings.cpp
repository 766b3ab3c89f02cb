// Built into each client executable on its own: test builds of the client
// carry another update base, key and version.
#include "app/ClientUpdateSettings.h"

#include "BuildConfig.h"
#include "res/resource.h"

UpdateSettings ClientUpdateSettings() {
    UpdateSettings settings;
    settings.updateBase = QUILLMOOR_WIDEN(QUILLMOOR_UPDATE_BASE_A);
    settings.updateKeyHex = QUILLMOOR_UPDATE_KEY_A;
    wchar_t localVersion[256] = {};
    ::LoadStringW(::GetModuleHandleW(nullptr), IDS_LOCAL_VERSION, localVersion, 255);
    settings.localVersion = localVersion;
    return settings;
}
