// The command logs read back as they were written, whatever bytes the
// library's names hold, and command ids keep the order of their commands.
#include "cleanup/command_log.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvane {
namespace {

TEST(CommandLog, ReadsBackWhatItWrote) {
    using namespace std::string_literals;
    const std::string odd = "tab\there\nline\rcr\\back\\t \xff\0end"s;
    DeleteLog deleted{
        "20240229T235959Z-12",
        {{"coach", "Stock/a.stk"}, {odd, "Stock/" + odd + ".stk"}},
        {{"Stock/a.stk", false, "backup/Stock/a.stk", ContentHash("a"), ContentHash("b")},
         {"Stock/" + odd + ".stk", true, "backup/Stock/" + odd + ".stk", ContentHash(odd), ""}},
        {{"backup/Stock/a.stk", "backup/Stock/a.stk.20240101T000000Z"}}};
    const std::string text = FormatLog(deleted);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
    EXPECT_EQ(ParseDeleteLog(text), deleted);

    RestoreLog restored{"20240301T000000Z", deleted.id, {}, true};
    for (size_t i = 0; i < std::size(kStoodWords); ++i) {
        restored.files.push_back({"Stock/" + odd, "backup/x", i % 2 ? "" : "backup/y", Stood(i)});
    }
    EXPECT_EQ(ParseRestoreLog(FormatLog(restored)), restored);
    restored.done = false;
    EXPECT_EQ(ParseRestoreLog(FormatLog(restored)), restored);
}

TEST(CommandLog, RefusesWhatIsNotOneOfOurLogs) {
    const char* const refused[] = {
        "",
        "Corvane delete yesterday\n",
        "Corvane delete 20240101T000000Z-0\n",
        "Corvane restore 20240101T000000Z\n",
        "Corvane delete 20240101T000000Z\nremoved\t/etc/passwd\tbackup/x\t0\n",
        "Corvane delete 20240101T000000Z\nremoved\tStock/../../x\tbackup/x\t0\n",
        "Corvane delete 20240101T000000Z\nremoved\tStock//x\tbackup/x\t0\n",
        "Corvane delete 20240101T000000Z\nchanged\tStock/x\tStock/x\t0\t1\n",
        "Corvane delete 20240101T000000Z\nchanged\tStock/x\tbackup/../x\t0\t1\n",
    };
    for (const char* text : refused) EXPECT_FALSE(ParseDeleteLog(text)) << text;
    EXPECT_FALSE(ParseRestoreLog("Corvane restore 20240101T000000Z of delete soon\n"));
}

TEST(CommandLog, IdsFollowTheClockAndNeverRepeat) {
    EXPECT_EQ(CommandStamp(0), "19700101T000000Z");
    EXPECT_EQ(CommandStamp(951868799), "20000229T235959Z");
    struct Case {
        const char* latest;
        const char* stamp;
        const char* next;
    };
    const Case cases[] = {
        {"", "20240101T000000Z", "20240101T000000Z"},
        {"20231231T235959Z", "20240101T000000Z", "20240101T000000Z"},
        {"20240101T000000Z", "20240101T000000Z", "20240101T000000Z-2"},
        {"20240101T000000Z-9", "20240101T000000Z", "20240101T000000Z-10"},
        {"20250101T000000Z", "20240101T000000Z", "20250101T000000Z-2"},  // the clock went back
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CommandIdAfter(c.latest, c.stamp), c.next) << c.latest;
        if (*c.latest) {
            EXPECT_TRUE(CommandBefore(c.latest, c.next)) << c.latest;
        }
    }
}

}  // namespace
}  // namespace corvane
