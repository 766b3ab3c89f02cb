// Move-only owners of the CNG (bcrypt.dll) handles: an algorithm provider, a
// key and a hash object.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include "toolkit/ScopedResource.h"

inline void CloseCngAlgorithm(BCRYPT_ALG_HANDLE algorithm) { ::BCryptCloseAlgorithmProvider(algorithm, 0); }

using CCngAlgorithm = CScopedHandle<BCRYPT_ALG_HANDLE, CloseCngAlgorithm>;
using CCngKey = CScopedHandle<BCRYPT_KEY_HANDLE, ::BCryptDestroyKey>;
using CCngHash = CScopedHandle<BCRYPT_HASH_HANDLE, ::BCryptDestroyHash>;
