#include "common/OutBuf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testsupport/BufferContent.h"
#include "testsupport/ScratchDirectory.h"

namespace {

// Tests with files, in a scratch directory of their own.
class OutBufFileTest : public ::testing::Test {
protected:

    std::string PathOf(const char* name) const { return (m_dir / name).string(); }
    void WriteFile(const char* name, const std::string& bytes) const {
        std::ofstream(PathOf(name), std::ios::binary) << bytes;
    }
    std::string ReadFile(const char* name) const {
        std::ifstream in(PathOf(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    CScratchDirectory m_scratch{"outbuf_"};
    const std::filesystem::path& m_dir = m_scratch.Path();
};

TEST(OutBuf, NewBufferIsEmptyWithNoBlock) {
    COutBuf buffer;
    EXPECT_EQ(buffer.GetLength(), 0);
    EXPECT_TRUE(buffer.IsEmpty());
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetCapacity(), 0);
    EXPECT_EQ(buffer.GetGrowStep(), 256);
}

TEST(OutBuf, GetStringOnNewBufferAllocatesOneGranuleAndKeepsLengthZero) {
    COutBuf buffer;
    const char* text = buffer.GetString();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(buffer.GetLength(), 0);
    EXPECT_EQ(buffer.GetCapacity(), 256);
}

TEST(OutBuf, GetStringTerminatesWithoutCountingTheZero) {
    COutBuf buffer;
    buffer.AppendString("abc");
    EXPECT_STREQ(buffer.GetString(), "abc");
    EXPECT_EQ(buffer.GetLength(), 3);
    // A full buffer grows by a granule for the terminator.
    COutBuf full;
    std::string block(256, 'x');
    full.Append(block.data(), 256);
    EXPECT_EQ(std::strlen(full.GetString()), 256u);
    EXPECT_EQ(full.GetLength(), 256);
    EXPECT_EQ(full.GetCapacity(), 512);
}

TEST(OutBuf, GrowsToTheSmallestMultipleOfTheGranule) {
    const std::string bytes(1000, 'a');
    struct Case { int32_t first, second, capacity; };
    for (const Case c : {Case{1, 0, 256}, Case{256, 0, 256}, Case{257, 0, 512}, Case{200, 100, 512},
                         Case{256, 1, 512}, Case{600, 0, 768}}) {
        COutBuf buffer;
        ASSERT_TRUE(buffer.Append(bytes.data(), c.first));
        ASSERT_TRUE(buffer.Append(bytes.data(), c.second));
        EXPECT_EQ(buffer.GetCapacity(), c.capacity) << c.first << "+" << c.second;
        EXPECT_EQ(buffer.GetLength(), c.first + c.second);
    }
    COutBuf exact;
    exact.SetGrowStep(1).Append(bytes.data(), 7);
    EXPECT_EQ(exact.GetCapacity(), 7);
    COutBuf unrounded;
    unrounded.SetGrowStep(0).Append(bytes.data(), 9);
    EXPECT_EQ(unrounded.GetCapacity(), 9);
}

TEST(OutBuf, AppendKeepsEveryByteInOrder) {
    COutBuf buffer;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        const std::string piece(static_cast<size_t>(i % 37), static_cast<char>('A' + i % 26));
        ASSERT_TRUE(buffer.Append(piece.data(), static_cast<int32_t>(piece.size())));
        expected += piece;
    }
    ASSERT_TRUE(buffer.AppendByte(0));
    expected.push_back('\0');
    EXPECT_EQ(Content(buffer), expected);
}

TEST(OutBuf, AppendRefusesBadCountsAndLeavesTheBufferAlone) {
    COutBuf buffer;
    buffer.AppendString("keep");
    const char* before = buffer.GetData();
    EXPECT_FALSE(buffer.Append("x", -1));
    EXPECT_FALSE(buffer.Append(nullptr, 3));
    EXPECT_FALSE(buffer.Append("x", INT32_MAX));  // 4 + INT32_MAX overflows the length
    EXPECT_TRUE(buffer.Append(nullptr, 0));
    EXPECT_EQ(Content(buffer), "keep");
    EXPECT_EQ(buffer.GetData(), before);
    EXPECT_FALSE(buffer.AppendString(nullptr));
}

TEST(OutBuf, AppendOfItsOwnBytesSurvivesTheRegrow) {
    COutBuf buffer;
    const std::string start(256, 'q');
    buffer.AppendString(start.c_str());
    ASSERT_EQ(buffer.GetCapacity(), 256);
    ASSERT_TRUE(buffer.AppendBuffer(buffer));  // grows while reading from the old block
    EXPECT_EQ(Content(buffer), start + start);
    ASSERT_TRUE(buffer.Append(buffer.GetData() + 10, 5));
    EXPECT_EQ(buffer.GetLength(), 517);
}

TEST(OutBuf, AppendInt32IsLittleEndian) {
    COutBuf buffer;
    buffer.AppendInt32(0x01020304);
    buffer.AppendInt32(-2);
    EXPECT_EQ(Content(buffer), std::string("\x04\x03\x02\x01\xfe\xff\xff\xff", 8));
}

TEST(OutBuf, AppendFormatHandlesShortAndLongTexts) {
    COutBuf buffer;
    ASSERT_TRUE(buffer.AppendFormat("HTTP/1.0 %d %s\r\n", 200, "OK"));
    EXPECT_EQ(Content(buffer), "HTTP/1.0 200 OK\r\n");

    const std::string longText(10000, 'z');
    COutBuf big;
    ASSERT_TRUE(big.AppendFormat("[%s]", longText.c_str()));
    EXPECT_EQ(Content(big), "[" + longText + "]");

    for (const size_t length : {4094u, 4095u, 4096u}) {
        COutBuf edge;
        ASSERT_TRUE(edge.AppendFormat("%s", std::string(length, 'e').c_str()));
        EXPECT_EQ(edge.GetLength(), static_cast<int32_t>(length));
    }
    COutBuf empty;
    EXPECT_TRUE(empty.AppendFormat("%s", ""));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(OutBuf, AlignToPadsWithZerosUpToTheMultiple) {
    COutBuf buffer;
    buffer.AppendString("12345");
    buffer.AlignTo(4);
    EXPECT_EQ(Content(buffer), std::string("12345\0\0\0", 8));
    buffer.AlignTo(4);
    EXPECT_EQ(buffer.GetLength(), 8);
    buffer.AlignTo(0);
    buffer.AlignTo(-3);
    buffer.AlignTo(1);
    EXPECT_EQ(buffer.GetLength(), 8);
    COutBuf empty;
    empty.AlignTo(16);
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(OutBuf, ReserveGrowsOnceWithoutTouchingTheContent) {
    COutBuf buffer;
    buffer.AppendString("body");
    ASSERT_TRUE(buffer.Reserve(1000));
    EXPECT_EQ(buffer.GetCapacity(), 1024);
    EXPECT_EQ(Content(buffer), "body");
    const char* block = buffer.GetData();
    const std::string piece(1020, 'p');
    ASSERT_TRUE(buffer.Append(piece.data(), 1020));  // fits: no new block
    EXPECT_EQ(buffer.GetData(), block);
    EXPECT_TRUE(buffer.Reserve(10));  // already large enough
    EXPECT_EQ(buffer.GetCapacity(), 1024);
    EXPECT_FALSE(buffer.Reserve(-1));
    EXPECT_EQ(buffer.GetLength(), 1024);
}

TEST(OutBuf, AppendRoomIsWrittenInPlaceAndCountedOnCommit) {
    COutBuf buffer;
    buffer.AppendString("head:");
    char* room = buffer.AppendRoom(1000);
    ASSERT_NE(room, nullptr);
    EXPECT_EQ(room, buffer.GetData() + 5);
    EXPECT_EQ(buffer.GetCapacity(), 1024);
    std::memcpy(room, "tail", 4);
    EXPECT_EQ(buffer.GetLength(), 5);  // nothing counted before the commit
    ASSERT_TRUE(buffer.CommitAppended(4));
    EXPECT_EQ(Content(buffer), "head:tail");

    EXPECT_FALSE(buffer.CommitAppended(1024 - 9 + 1));  // more than the room
    EXPECT_FALSE(buffer.CommitAppended(-1));
    EXPECT_EQ(buffer.AppendRoom(-1), nullptr);
    EXPECT_EQ(buffer.AppendRoom(INT32_MAX), nullptr);
    EXPECT_EQ(Content(buffer), "head:tail");
    ASSERT_TRUE(buffer.CommitAppended(1024 - 9));
    EXPECT_EQ(buffer.GetLength(), 1024);
}

TEST(OutBuf, ResetKeepsTheBlockAndPrependGrowsLikeAppend) {
    COutBuf buffer;
    buffer.AppendString("body");
    const char* block = buffer.GetData();
    buffer.Reset();
    EXPECT_TRUE(buffer.IsEmpty());
    EXPECT_EQ(buffer.GetCapacity(), 256);
    buffer.AppendString("body");
    EXPECT_EQ(buffer.GetData(), block);

    ASSERT_TRUE(buffer.Prepend("head:", 5));
    EXPECT_EQ(Content(buffer), "head:body");
    const std::string big(300, 'h');
    ASSERT_TRUE(buffer.Prepend(big.data(), 300));
    EXPECT_EQ(Content(buffer), big + "head:body");
    EXPECT_EQ(buffer.GetCapacity(), 512);
    ASSERT_TRUE(buffer.Prepend(buffer.GetData() + 300, 5));  // its own bytes
    EXPECT_EQ(Content(buffer).substr(0, 10), "head:hhhhh");
    EXPECT_FALSE(buffer.Prepend("x", -1));
    EXPECT_FALSE(buffer.Prepend(nullptr, 1));
    EXPECT_EQ(buffer.GetLength(), 314);
}

TEST(OutBuf, ClearReleasesEverything) {
    COutBuf buffer;
    buffer.AppendString("x");
    buffer.Clear();
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetLength(), 0);
    EXPECT_EQ(buffer.GetCapacity(), 0);
    EXPECT_TRUE(buffer.AppendString("again"));
    EXPECT_EQ(Content(buffer), "again");
}

TEST_F(OutBufFileTest, SaveAndLoadRoundTripArbitraryBytes) {
    std::string bytes;
    for (int i = 0; i < 3 * 1024 * 1024 + 7; ++i) bytes.push_back(static_cast<char>(i * 131 + i / 251));
    COutBuf out;
    ASSERT_TRUE(out.Append(bytes.data(), static_cast<int32_t>(bytes.size())));
    ASSERT_TRUE(out.SaveToFile(PathOf("large").c_str()));
    EXPECT_EQ(ReadFile("large"), bytes);

    COutBuf in;
    ASSERT_TRUE(in.LoadFromFile(PathOf("large").c_str()));
    EXPECT_EQ(in.GetLength(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(in.GetCapacity(), in.GetLength());
    EXPECT_EQ(Content(in), bytes);
}

TEST_F(OutBufFileTest, EmptyAndMissingFiles) {
    COutBuf empty;
    ASSERT_TRUE(empty.SaveToFile(PathOf("empty").c_str()));
    ASSERT_TRUE(std::filesystem::exists(m_dir / "empty"));
    EXPECT_EQ(std::filesystem::file_size(m_dir / "empty"), 0u);

    COutBuf loaded;
    EXPECT_TRUE(loaded.LoadFromFile(PathOf("empty").c_str()));
    EXPECT_TRUE(loaded.IsEmpty());

    COutBuf missing;
    EXPECT_FALSE(missing.LoadFromFile(PathOf("no-such-file").c_str()));
    EXPECT_TRUE(missing.IsEmpty());
}

TEST_F(OutBufFileTest, LoadReplacesContentAndKeepsItOnFailure) {
    WriteFile("asset", "new content");
    COutBuf buffer;
    buffer.AppendString("old content that is longer");
    ASSERT_TRUE(buffer.LoadFromFile(PathOf("asset").c_str()));
    EXPECT_EQ(Content(buffer), "new content");

    EXPECT_FALSE(buffer.LoadFromFile(PathOf("missing").c_str()));
    EXPECT_EQ(Content(buffer), "new content");

    WriteFile("empty", "");
    ASSERT_TRUE(buffer.LoadFromFile(PathOf("empty").c_str()));
    EXPECT_TRUE(buffer.IsEmpty());
}

TEST_F(OutBufFileTest, LoadReusesTheBlockOfAnEmptyBufferWhenItFits) {
    WriteFile("small", "small file");
    WriteFile("large", std::string(5000, 'L'));
    COutBuf buffer;
    buffer.Reserve(4096);
    const char* block = buffer.GetData();
    ASSERT_TRUE(buffer.LoadFromFile(PathOf("small").c_str()));
    EXPECT_EQ(buffer.GetData(), block);
    EXPECT_EQ(Content(buffer), "small file");
    buffer.Reset();
    ASSERT_TRUE(buffer.LoadFromFile(PathOf("large").c_str()));  // too big for the block
    EXPECT_EQ(Content(buffer), std::string(5000, 'L'));
    buffer.Reset();
    EXPECT_FALSE(buffer.LoadFromFile(PathOf("missing").c_str()));
    EXPECT_TRUE(buffer.IsEmpty());
}

TEST_F(OutBufFileTest, SaveReplacesAnExistingFileAndFailsWhereItCannotWrite) {
    WriteFile("asset", std::string(5000, 'o'));
    COutBuf buffer;
    buffer.AppendString("short");
    ASSERT_TRUE(buffer.SaveToFile(PathOf("asset").c_str()));
    EXPECT_EQ(ReadFile("asset"), "short");

    EXPECT_FALSE(buffer.SaveToFile((m_dir / "no-dir" / "asset").string().c_str()));
    EXPECT_FALSE(buffer.SaveToFile(m_dir.string().c_str()));  // a directory
}

TEST(OutBuf, SaveReportsAWriteThatNeverReachedTheDisk) {
    // /dev/full accepts the open and fails the write (or the flush at close).
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    COutBuf buffer;
    buffer.AppendString("bytes that cannot be stored");
    EXPECT_FALSE(buffer.SaveToFile("/dev/full"));
}

}  // namespace
