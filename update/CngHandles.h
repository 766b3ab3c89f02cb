// Move-only owners of the CNG (bcrypt.dll) handles: an algorithm provider, a
// key and a hash object.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include "toolkit/ScopedResource.h"

struct CngAlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Release(Type value) { ::BCryptCloseAlgorithmProvider(value, 0); }
};
using CCngAlgorithm = CScopedResource<CngAlgorithmTraits>;

struct CngKeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Release(Type value) { ::BCryptDestroyKey(value); }
};
using CCngKey = CScopedResource<CngKeyTraits>;

struct CngHashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Release(Type value) { ::BCryptDestroyHash(value); }
};
using CCngHash = CScopedResource<CngHashTraits>;
