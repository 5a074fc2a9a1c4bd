// The command logs read back as they were written, whatever bytes the
// library's names hold; what is not a whole log of ours is refused; command
// ids keep the order of their commands.
#include "cleanup/command_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace corvane {
namespace {

TEST(CommandLog, ReadsBackWhatItWrote) {
    using namespace std::string_literals;
    // No NUL in a name, and on Windows neither "\" nor a control character.
#ifdef _WIN32
    const std::string odd = "caf\xc3\xa9 \xff end";
#else
    const std::string odd = "tab\there\nline\rcr\\back\\t \xff end";
#endif
    const std::string name = odd + "\0"s;
    const std::string hash = ContentHash("a");
    DeleteLog deleted{
        "20240229T235959Z-12",
        {{"coach", "Stock/a.stk"}, {name, "Stock/" + odd + ".stk"}},
        {{"Stock/a.stk", false, "backup/Stock/a.stk", 1, hash, ContentHash("b")},
         {"Stock/" + odd + ".stk", true, "backup/Stock/" + odd + ".stk", 12345, hash, ""}},
        {{"backup/Stock/a.stk", "backup/20240101T000000Z/Stock/a.stk"}},
        {{"Stock/b.stk", "it changed\tsince"}}};
    const std::string text = FormatLog(deleted);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
    EXPECT_EQ(ParseDeleteLog(text), deleted);

    RestoreLog restored{
        "20240301T000000Z", deleted.id, {}, {{"Stock/c.stk", "no\nbackup"}}, true, true};
    for (size_t i = 0; i < std::size(kStandingWords); ++i) {
        restored.files.push_back(
            {"Stock/" + odd, "backup/x", i % 2 ? "" : "backup/y", Standing(i)});
    }
    EXPECT_EQ(ParseRestoreLog(FormatLog(restored)), restored);
    restored.done = restored.passedOver = false;
    EXPECT_EQ(ParseRestoreLog(FormatLog(restored)), restored);

    const std::vector<std::string> targets = {"Stock/" + odd, "backup/delete-x.log"};
    EXPECT_EQ(ParseTemporaries(FormatTemporaries("abcdefgh", targets)),
              std::pair(std::string("abcdefgh"), targets));
}

TEST(CommandLog, RefusesWhatIsNotAWholeLogOfOurs) {
    const std::string hash = "0123456789abcdef";
    const std::string head = "Corvane delete 20240101T000000Z\n";
    const std::string removed = "removed\tStock/x\tbackup/x\t1\t" + hash + "\n";
    const std::string refused[] = {
        "",
        "Corvane delete yesterday\nend\n",
        "Corvane delete 20240101T000000Z-1\nend\n",
        "Corvane restore 20240101T000000Z\nend\n",
        head,                      // no end line
        head + removed,            // no end line
        head + removed + "end",    // cut short
        head + "end\n" + removed,  // a line after the end
        head + "whatever\nend\n",  // a line it cannot read
        head + "removed\t/etc/passwd\tbackup/x\t1\t" + hash + "\nend\n",
        head + "removed\tStock/../../x\tbackup/x\t1\t" + hash + "\nend\n",
        head + "removed\tStock//x\tbackup/x\t1\t" + hash + "\nend\n",
        head + "removed\tStock/x\tbackup/x\tmany\t" + hash + "\nend\n",
        head + "changed\tStock/x\tStock/x\t1\t" + hash + "\t" + hash + "\nend\n",
        head + "changed\tStock/x\tbackup/../x\t1\t" + hash + "\t" + hash + "\nend\n",
#ifdef _WIN32
        // "\" and ":" separate or name drives on Windows, however a log spells them.
        head + "removed\tStock\\..\\..\\x\tbackup/x\t1\t" + hash + "\nend\n",
        head + "removed\tC:/x\tbackup/x\t1\t" + hash + "\nend\n",
#endif
    };
    for (const std::string& text : refused) {
        std::string why;
        EXPECT_FALSE(ParseDeleteLog(text, &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
    EXPECT_TRUE(ParseDeleteLog(head + removed + "end\n"));
    EXPECT_FALSE(ParseRestoreLog("Corvane restore 20240101T000000Z of delete soon\n"));
    EXPECT_FALSE(
        ParseRestoreLog("Corvane restore 20240101T000000Z of delete "
                        "20231231T000000Z\ndone\nrestored\tStock/x\tbackup/x\t\tother\n"));
}

TEST(CommandLog, IdsFollowTheClockAndNeverRepeat) {
    EXPECT_EQ(CommandStamp(0), "19700101T000000Z");
    EXPECT_EQ(CommandStamp(951868799), "20000229T235959Z");
    EXPECT_EQ(CommandTime("20000229T235959Z-3"), 951868799);
    struct Case {
        const char* latest;
        const char* stamp;
        const char* next;  // "" when none follows
    };
    const Case cases[] = {
        {"", "20240101T000000Z", "20240101T000000Z"},
        {"20231231T235959Z", "20240101T000000Z", "20240101T000000Z"},
        {"20240101T000000Z", "20240101T000000Z", "20240101T000000Z-2"},
        {"20240101T000000Z-9", "20240101T000000Z", "20240101T000000Z-10"},
        {"20250101T000000Z", "20240101T000000Z", "20250101T000000Z-2"},  // the clock went back
        {"99991231T235959Z-999999999", "20240101T000000Z", ""},          // none after it
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CommandIdAfter(c.latest, c.stamp), c.next) << c.latest;
        if (*c.latest && *c.next) {
            EXPECT_TRUE(CommandBefore(c.latest, c.next)) << c.latest;
        }
    }
}

// Every cleanup suite runs on both systems: one built out on either shows here.
TEST(CleanupSuites, EveryOneRunsOnThisSystem) {
    std::set<std::string> suites;
    const ::testing::UnitTest& tests = *::testing::UnitTest::GetInstance();
    for (int i = 0; i < tests.total_test_suite_count(); ++i) {
        suites.insert(tests.GetTestSuite(i)->name());
    }
    EXPECT_EQ(suites, (std::set<std::string>{"CleanupSuites", "CommandLog", "CopyWithoutItem",
                                             "RemoveItem", "Undo"}));
}

}  // namespace
}  // namespace corvane
