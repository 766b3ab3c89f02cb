#include "update/SignatureVerifier.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "update/HexBytes.h"

namespace {

constexpr NTSTATUS kStatusInvalidSignature = static_cast<NTSTATUS>(0xC000A000L);

// A file that the test's set-up made with openssl beside this executable,
// in testdata\signature\.
std::string ReadVector(const char* name) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    const std::string file(name);
    path = path.substr(0, path.rfind(L'\\') + 1) + L"testdata\\signature\\" + std::wstring(file.begin(), file.end());
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

UpdateKey ReadKey(const char* name) {
    std::string hex = ReadVector(name);
    while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r')) hex.pop_back();
    const std::optional<UpdateKey> key = ParseUpdateKey(hex);
    EXPECT_TRUE(key) << name;
    return key.value_or(UpdateKey{});
}

Sha256Digest Sha256Of(const std::string& bytes) {
    Sha256Digest digest{};
    EXPECT_TRUE(ComputeSha256(bytes.data(), static_cast<uint32_t>(bytes.size()), digest));
    return digest;
}

class SignatureVerifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_build = ReadVector("Quillmoor.exe");
        ASSERT_GT(m_build.size(), 0u) << "run the signature_vectors fixture first";
        const std::optional<SignatureFile> file = ParseSignatureFile(ReadVector("Quillmoor.exe.sig"));
        ASSERT_TRUE(file);
        m_file = *file;
        m_key = ReadKey("key.hex");
        m_statementDigest = Sha256Of(m_file.statement);
    }

    std::string m_build;
    SignatureFile m_file;
    UpdateKey m_key{};
    Sha256Digest m_statementDigest{};
};

TEST(Sha256, KnownAnswers) {
    EXPECT_EQ(EncodeHexBytes(Sha256Of("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(EncodeHexBytes(Sha256Of("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST_F(SignatureVerifierTest, ABuildSignedByOpensslVerifies) {
    // The digest openssl wrote for the whole build is the one CNG computes.
    EXPECT_TRUE(DescribesBytes(m_file, static_cast<uint32_t>(m_build.size()), Sha256Of(m_build)));
    const NTSTATUS status = VerifyEcdsaP256(m_key, m_statementDigest, m_file.signature);
    std::printf("BCryptVerifySignature on the signature file of a %zu-byte build: 0x%08lX\n", m_build.size(),
                static_cast<unsigned long>(status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(IsSignedBy(m_key, m_file));
}

TEST_F(SignatureVerifierTest, AnotherDigestKeySignatureOrStatementIsRefused) {
    Sha256Digest otherDigest = m_statementDigest;
    otherDigest[0] ^= 1;
    EXPECT_EQ(VerifyEcdsaP256(m_key, otherDigest, m_file.signature), kStatusInvalidSignature);
    EXPECT_EQ(VerifyEcdsaP256(ReadKey("other-key.hex"), m_statementDigest, m_file.signature),
              kStatusInvalidSignature);
    for (const size_t at : {size_t{0}, size_t{31}, size_t{32}, size_t{63}}) {
        EcdsaSignature otherSignature = m_file.signature;
        otherSignature[at] ^= 0x80;
        EXPECT_NE(VerifyEcdsaP256(m_key, m_statementDigest, otherSignature), 0) << at;
    }
    SignatureFile otherStatement = m_file;
    otherStatement.statement[otherStatement.statement.find("1.0.6") + 4] = '7';
    EXPECT_FALSE(IsSignedBy(m_key, otherStatement));
    EXPECT_FALSE(IsSignedBy(ReadKey("other-key.hex"), m_file));

    // X and Y swapped: a point off the curve, which no signature can match.
    UpdateKey swapped{};
    std::copy(m_key.begin() + 32, m_key.end(), swapped.begin());
    std::copy(m_key.begin(), m_key.begin() + 32, swapped.begin() + 32);
    EXPECT_NE(VerifyEcdsaP256(swapped, m_statementDigest, m_file.signature), 0);
}

}  // namespace
