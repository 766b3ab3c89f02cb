#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, ReOpenOnlyWhenTheWholeTextIsExactlyTheWord) {
    EXPECT_TRUE(ParseCommandLine(L"re_open").relaunched);
    for (const wchar_t* other : {L"", L"re_open ", L" re_open", L"RE_OPEN", L"Re_Open", L"re_open2", L"re_ope"}) {
        const StartupCommand command = ParseCommandLine(other);
        EXPECT_FALSE(command.relaunched) << other;
        EXPECT_TRUE(command.fileToDelete.empty()) << other;
    }
}

TEST(CommandLine, DelfileTakesThePathAfterTheLastEquals) {
    EXPECT_EQ(ParseCommandLine(L"delfile=C:\\Games\\old.exe").fileToDelete, L"C:\\Games\\old.exe");
    // A path that itself holds "=": only its last part is taken, a relative name.
    EXPECT_EQ(ParseCommandLine(L"delfile=C:\\x\\a=b.txt").fileToDelete, L"b.txt");
    // Anything beginning with the seven letters counts as the form.
    EXPECT_EQ(ParseCommandLine(L"delfiles=x").fileToDelete, L"x");
    EXPECT_EQ(ParseCommandLine(L"delfile \"a b\"=C:\\a b\\c d.txt").fileToDelete, L"C:\\a b\\c d.txt");
    EXPECT_FALSE(ParseCommandLine(L"delfile=x").relaunched);
}

TEST(CommandLine, DelfileNeedsTheExactLowerCaseWordAtTheStart) {
    for (const wchar_t* other : {L"DELFILE=x", L"Delfile=x", L" delfile=x", L"delfil=x", L"xdelfile=x"}) {
        EXPECT_TRUE(ParseCommandLine(other).fileToDelete.empty()) << other;
    }
}

TEST(CommandLine, DelfileWithoutAUsablePathDeletesNothing) {
    EXPECT_TRUE(ParseCommandLine(L"delfile").fileToDelete.empty());
    EXPECT_TRUE(ParseCommandLine(L"delfile C:\\x.txt").fileToDelete.empty());
    EXPECT_TRUE(ParseCommandLine(L"delfile=").fileToDelete.empty());
    EXPECT_TRUE(ParseCommandLine(L"delfile=C:\\x=").fileToDelete.empty());
}

TEST(CommandLine, DelfilePathLongerThan259UnitsIsRefusedNotCut) {
    const std::wstring longest(kMaxDeletePathLength, L'p');
    EXPECT_EQ(ParseCommandLine(L"delfile=" + longest).fileToDelete, longest);
    EXPECT_TRUE(ParseCommandLine(L"delfile=" + longest + L"q").fileToDelete.empty());
}

}  // namespace
