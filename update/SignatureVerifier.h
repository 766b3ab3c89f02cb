// Checks with Windows' own cryptography (CNG) that a signature file was
// signed with the publisher's key, and hashes downloaded builds. No state:
// every call opens and closes its own providers.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>

#include "update/SignatureFile.h"
#include "update/UpdateKey.h"

// The SHA-256 of the bytes into digest; false when CNG fails.
bool ComputeSha256(const void* bytes, uint32_t length, Sha256Digest& digest);

// What BCryptVerifySignature says of an ECDSA P-256 signature r||s over
// digest with key: STATUS_SUCCESS (0) when it is valid, otherwise its failure
// status or that of an earlier step (opening the provider, importing the key).
NTSTATUS VerifyEcdsaP256(const UpdateKey& key, const Sha256Digest& digest, const EcdsaSignature& signature);

// True only when the file's signature is valid for key over the SHA-256 of
// its statement.
bool IsSignedBy(const UpdateKey& key, const SignatureFile& file);
