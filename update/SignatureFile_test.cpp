#include "update/SignatureFile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

const std::string kSha256(64, 'a');
const std::string kSignature = std::string(64, '0') + std::string(62, 'F') + "e1";

std::string Statement(const char* lineEnd = "\n") {
    return std::string("version=1.0.6") + lineEnd + "file=builds/Quillmoor_106.exe" + lineEnd + "sha256=" + kSha256 +
           lineEnd + "size=1454655" + lineEnd;
}

std::string File(const char* lineEnd = "\n") { return Statement(lineEnd) + "sig=" + kSignature + lineEnd; }

TEST(SignatureFile, AWellFormedFileGivesItsValuesAndTheStatementAsItStands) {
    for (const char* lineEnd : {"\n", "\r\n"}) {
        const std::optional<SignatureFile> file = ParseSignatureFile(File(lineEnd));
        ASSERT_TRUE(file) << (lineEnd[0] == '\r' ? "CR LF" : "LF");
        EXPECT_EQ(file->statement, Statement(lineEnd));
        EXPECT_EQ(file->version, "1.0.6");
        EXPECT_EQ(file->file, "builds/Quillmoor_106.exe");
        EXPECT_EQ(file->size, 1454655u);
        EXPECT_EQ(file->sha256[0], 0xaa);
        EXPECT_EQ(file->sha256[31], 0xaa);
        EXPECT_EQ(file->signature[0], 0x00);
        EXPECT_EQ(file->signature[32], 0xff);
        EXPECT_EQ(file->signature[63], 0xe1);
    }
    // Values keep inner blanks; one line may end in CR LF and the next in LF.
    const std::string mixed = "version=1.0.6 beta\r\nfile=a b.exe\nsha256=" + kSha256 + "\r\nsize=4294967295\nsig=" +
                              kSignature + "\r\n";
    const std::optional<SignatureFile> file = ParseSignatureFile(mixed);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->version, "1.0.6 beta");
    EXPECT_EQ(file->file, "a b.exe");
    EXPECT_EQ(file->size, 4294967295u);
    EXPECT_EQ(file->statement, mixed.substr(0, mixed.find("sig=")));
}

TEST(SignatureFile, AFileCutAnywhereShortOfItsEndIsRefused) {
    const std::string whole = File("\r\n");
    for (size_t length = 0; length < whole.size(); ++length) {
        EXPECT_FALSE(ParseSignatureFile(whole.substr(0, length))) << length;
    }
}

// The five lines of a good file, for cases that change one of them.
struct Lines {
    std::string version = "version=1.0.6\n";
    std::string file = "file=builds/Quillmoor_106.exe\n";
    std::string sha256 = "sha256=" + kSha256 + "\n";
    std::string size = "size=1454655\n";
    std::string sig = "sig=" + kSignature + "\n";
    std::string Text() const { return version + file + sha256 + size + sig; }
};

TEST(SignatureFile, AnythingButTheExactFormIsRefused) {
    ASSERT_EQ(Lines().Text(), File());
    struct Case { const char* what; void (*change)(Lines&); };
    const Case cases[] = {
        {"a line missing", [](Lines& l) { l.version.clear(); }},
        {"another order", [](Lines& l) { std::swap(l.version, l.file); }},
        {"an empty value", [](Lines& l) { l.version = "version=\n"; }},
        {"a key in capitals", [](Lines& l) { l.version = "Version=1.0.6\n"; }},
        {"an extra line", [](Lines& l) { l.size += "note=x\n"; }},
        {"a line after sig", [](Lines& l) { l.sig += "\n"; }},
        {"a CR not before LF", [](Lines& l) { l.version = "version=1.0.6\r\r\n"; }},
        {"a zero byte", [](Lines& l) { l.version = std::string("version=1.0\0.6\n", 15); }},
        {"size 0", [](Lines& l) { l.size = "size=0\n"; }},
        {"a leading zero", [](Lines& l) { l.size = "size=01454655\n"; }},
        {"size over 32 bits", [](Lines& l) { l.size = "size=4294967296\n"; }},
        {"a sign", [](Lines& l) { l.size = "size=+1454655\n"; }},
        {"a short digest", [](Lines& l) { l.sha256 = "sha256=" + kSha256.substr(1) + "\n"; }},
        {"a digest not hex", [](Lines& l) { l.sha256 = "sha256=g" + kSha256.substr(1) + "\n"; }},
        {"a short signature", [](Lines& l) { l.sig = "sig=" + kSignature.substr(2) + "\n"; }},
        {"a signature and a blank", [](Lines& l) { l.sig = "sig=" + kSignature + " \n"; }},
    };
    for (const Case& c : cases) {
        Lines lines;
        c.change(lines);
        EXPECT_FALSE(ParseSignatureFile(lines.Text())) << c.what;
    }
}

TEST(SignatureFile, TheNamesAndTheBytesMustMatchExactly) {
    const std::optional<SignatureFile> file = ParseSignatureFile(File());
    ASSERT_TRUE(file);
    EXPECT_TRUE(NamesAnnouncedBuild(*file, "1.0.6", "builds/Quillmoor_106.exe"));
    EXPECT_FALSE(NamesAnnouncedBuild(*file, "1.0.6 ", "builds/Quillmoor_106.exe"));
    EXPECT_FALSE(NamesAnnouncedBuild(*file, "1.0.7", "builds/Quillmoor_106.exe"));
    EXPECT_FALSE(NamesAnnouncedBuild(*file, "1.0.6", "builds/quillmoor_106.exe"));
    EXPECT_FALSE(NamesAnnouncedBuild(*file, "1.0.6", "Quillmoor_106.exe"));

    Sha256Digest digest = file->sha256;
    EXPECT_TRUE(DescribesBytes(*file, 1454655, digest));
    EXPECT_FALSE(DescribesBytes(*file, 1454654, digest));
    digest[31] ^= 1;
    EXPECT_FALSE(DescribesBytes(*file, 1454655, digest));
}

}  // namespace
