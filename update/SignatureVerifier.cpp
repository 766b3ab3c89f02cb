#include "update/SignatureVerifier.h"

#include <cstring>

#include "update/CngHandles.h"

namespace {

// STATUS_SUCCESS, which winternl.h would bring with a lot else.
constexpr NTSTATUS kStatusSuccess = 0;

CCngAlgorithm OpenAlgorithm(const wchar_t* name, NTSTATUS& status) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    status = ::BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0);
    return CCngAlgorithm(BCRYPT_SUCCESS(status) ? algorithm : nullptr);
}

// The public key as a BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
CCngKey ImportPublicKey(BCRYPT_ALG_HANDLE algorithm, const UpdateKey& key, NTSTATUS& status) {
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + sizeof key] = {};
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, sizeof key / 2};
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, key.data(), sizeof key);
    BCRYPT_KEY_HANDLE imported = nullptr;
    status = ::BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported, blob, sizeof blob, 0);
    return CCngKey(BCRYPT_SUCCESS(status) ? imported : nullptr);
}

}  // namespace

bool ComputeSha256(const void* bytes, uint32_t length, Sha256Digest& digest) {
    NTSTATUS status = kStatusSuccess;
    const CCngAlgorithm algorithm = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM, status);
    if (!algorithm) return false;
    // No hash object buffer: CNG allocates it itself from Windows 7 on.
    BCRYPT_HASH_HANDLE created = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), &created, nullptr, 0, nullptr, 0, 0))) return false;
    const CCngHash hash(created);
    // CNG takes the input as a non-const pointer but only reads it.
    auto* input = static_cast<PUCHAR>(const_cast<void*>(bytes));
    if (length > 0 && !BCRYPT_SUCCESS(::BCryptHashData(hash.get(), input, length, 0))) return false;
    return BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
}

NTSTATUS VerifyEcdsaP256(const UpdateKey& key, const Sha256Digest& digest, const EcdsaSignature& signature) {
    NTSTATUS status = kStatusSuccess;
    const CCngAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM, status);
    if (!algorithm) return status;
    const CCngKey publicKey = ImportPublicKey(algorithm.get(), key, status);
    if (!publicKey) return status;
    // Neither buffer is written: the copies only drop the const.
    Sha256Digest hash = digest;
    EcdsaSignature rs = signature;
    return ::BCryptVerifySignature(publicKey.get(), nullptr, hash.data(), static_cast<ULONG>(hash.size()), rs.data(),
                                   static_cast<ULONG>(rs.size()), 0);
}

bool IsSignedBy(const UpdateKey& key, const SignatureFile& file) {
    Sha256Digest digest{};
    if (!ComputeSha256(file.statement.data(), static_cast<uint32_t>(file.statement.size()), digest)) return false;
    return VerifyEcdsaP256(key, digest, file.signature) == kStatusSuccess;
}
