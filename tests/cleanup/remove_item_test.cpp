// Which lines the copy of a library file keeps when an item comes out; what
// the delete keeps of a file: its backup whole (bytes, time, permissions,
// owner, ACL, extended attributes), and the rewritten file its permissions,
// never a wider one; what the restore then gives back.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <iostream>
#include <map>

#include "tests/support/test_library.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace corvane {
namespace {

using testing::CrLf;
using testing::TempLibrary;

const std::string kTwoItems = CrLf({"name coach", "skin x", "[end]", "name wagon", "[end]"});
const std::string kWithoutCoach = CrLf({"", "name wagon", "[end]"});
const std::string kOnlyCoach = CrLf({"name coach", "[end]"});

#ifndef _WIN32
// What the tests compare of a file besides its bytes: mode, owner, ACL in
// text form and the value of "user.corvane".
struct Kept {
    unsigned mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    std::string acl;
    std::string attribute;
    bool operator==(const Kept&) const = default;
};

Kept KeptOf(const std::string& path) {
    Kept kept;
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    kept.mode = st.st_mode & 07777;
    kept.owner = st.st_uid;
    kept.group = st.st_gid;
    if (acl_t acl = ::acl_get_file(path.c_str(), ACL_TYPE_ACCESS)) {
        char* text = ::acl_to_text(acl, nullptr);
        kept.acl = text;
        ::acl_free(text);
        ::acl_free(acl);
    }
    char value[64];
    ssize_t n = ::getxattr(path.c_str(), "user.corvane", value, sizeof value);
    if (n > 0) kept.attribute.assign(value, size_t(n));
    return kept;
}
#endif

TEST(RemoveItem, BackupsKeepTheFileWholeAndRewrittenFilesKeepTheirPermissions) {
    struct Case {
        const char* file;
        std::string before;
        unsigned mode;    // POSIX
        const char* acl;  // POSIX: an ACL to set, or nothing
        bool staysInLibrary;
    };
    const Case cases[] = {
        {"Stock/two.stk", kTwoItems, 0640, nullptr, true},
        {"Stock/private.stk", kTwoItems, 0600, nullptr, true},
        {"Stock/odd.stk", kTwoItems, 0755, nullptr, true},
        // The group may read; someone else may write; the mask lets them.
        {"Stock/shared.stk", kTwoItems, 0640, "u::rw-,g::r--,u:nobody:rw-,m::rw-,o::---", true},
        {"Stock/only.stk", kOnlyCoach, 0640, nullptr, false},
    };
    TempLibrary library;
    std::vector<OlderItem> older;
    for (const Case& c : cases) {
        library.Write(c.file, c.before, "2011-02-03 04:05");
        older.push_back({"coach", testing::Native(c.file)});
    }
#ifndef _WIN32
    const bool root = ::geteuid() == 0;
    bool acls = true, attributes = true;
    for (const Case& c : cases) {
        const std::string path = library.Path(c.file);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        if (root) {
            ASSERT_EQ(::lchown(path.c_str(), 4321, 8765), 0);
        }
        if (c.acl) {
            acl_t acl = ::acl_from_text(c.acl);
            acls = acl && ::acl_set_file(path.c_str(), ACL_TYPE_ACCESS, acl) == 0;
            if (acl) ::acl_free(acl);
        }
        attributes = attributes &&
                     ::setxattr(path.c_str(), "user.corvane", c.file, std::strlen(c.file), 0) == 0;
    }
    if (!acls) std::cout << "[ SKIPPED  ] ACLs: the test folder's file system has none\n";
    if (!attributes) std::cout << "[ SKIPPED  ] user.* attributes: the file system has none\n";
    std::map<std::string, Kept> was;
    for (const Case& c : cases) was[c.file] = KeptOf(library.Path(c.file));
#endif
    auto times = [&](const std::string& relative) {
        std::string bytes;
        const platform::FileAttributes attributes =
            platform::RealFileSystem().ReadFileWithAttributes(library.Path(relative), bytes);
        return std::pair(attributes.lastWriteSeconds, attributes.lastWriteNanoseconds);
    };
    const auto time = times(cases[0].file);
    const std::int64_t start = std::time(nullptr);
    const DeleteResult result = testing::Delete(library.Root(), older);
    EXPECT_FALSE(result.Failed()) << testing::Join(result.problems);
    EXPECT_EQ(result.warnings, std::vector<std::string>{});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string backup = std::string("backup/") + c.file;
        EXPECT_EQ(library.Read(backup), c.before);
        EXPECT_EQ(times(backup), time);
        EXPECT_EQ(library.Exists(c.file), c.staysInLibrary);
#ifndef _WIN32
        Kept expected = was[c.file];
        if (!acls) expected.acl = KeptOf(library.Path(backup)).acl;
        if (!attributes) expected.attribute.clear();
        EXPECT_EQ(KeptOf(library.Path(backup)), expected);
        if (c.staysInLibrary) {
            EXPECT_EQ(KeptOf(library.Path(c.file)), expected);
        }
#endif
        if (!c.staysInLibrary) continue;
        EXPECT_EQ(library.Read(c.file), kWithoutCoach);
        EXPECT_GE(times(c.file).first, start);
    }
#ifndef _WIN32
    // Undone, every file is as it was, ACL and attributes too.
    EXPECT_FALSE(testing::Restore(library.Root()).Failed());
    for (const Case& c : cases) {
        Kept expected = was[c.file];
        if (!attributes) expected.attribute.clear();
        if (acls || !c.acl) {
            EXPECT_EQ(KeptOf(library.Path(c.file)), expected) << c.file;
        }
    }
#endif
}

// Which lines the copy of a library file keeps when an item comes out.
TEST(CopyWithoutItem, RemovalRules) {
    struct Case {
        const char* what;
        std::string before;
        const char* name;
        std::string after;
        bool otherItem;
        const char* also = nullptr;  // a second name taken out in the same pass
    };
    // The copy's lines end in CR LF, written LF here.
    const Case cases[] = {
        {"only item", "name coach\r\nskin x\r\n[end]\r\n", "coach", "\n", false},
        {"two of the name", "name c\n[end]\nname w\n[end]\nname c\n[end]\n", "c",
         "\nname w\n[end]\n\n", true},
        {"no [end] at the end", "name w\n[end]\nname c\nskin x\n", "c", "name w\n[end]\n\n", true},
        {"no [end] before next", "name c\nskin x\nname w\n[end]\n", "c", "\nname w\n[end]\n", true},
        {"no [end] before a copy", "name c\nname c\n[end]\nname w\n", "c", "\n\nname w\n", true},
        {"[END] in capitals", "name c\n[END]\nname x\n[end]\n", "c", "\nname x\n[end]\n", true},
        {"[end] with a note", "name c\n  [end] // note\nafter\n", "c", "\nafter\n", false},
        {"indented upper case", "  \tNAME Coach A  \nx\n[end]\n", "coach a", "\n", false},
        {"name with comment", "name c // old\n[end]\nname b # new\n", "c", "\nname b # new\n",
         true},
        {"nameplate outside", "nameplate 3\nname coach\n[end]\n", "coach", "nameplate 3\n\n", true},
        {"lines outside items", "// head\nname c\n[end]\ntail\n", "c", "// head\n\ntail\n", false},
        {"edited after the check", "name wagon\n[end]\n", "coach", "name wagon\n[end]\n", true},
        {"no name line at all", "just text\n", "coach", "just text\n", false},
        {"LF, no last line end", "name w\nskin  x \n[end]", "c", "name w\nskin  x \n[end]\n", true},
        {"kept lines as read", "name w\ninclude 0 0 0 [d3d]T[l]\na\rb\n\t \n", "c",
         "name w\ninclude 0 0 0 [d3d]T[l]\na\rb\n\t \n", true},
        {"bytes, not text", std::string("name w\n\xff\0\x80\n", 10), "c",
         std::string("name w\n\xff\0\x80\n", 11), true},
        {"empty file", "", "coach", "", false},
        {"two names running on", "name a\nname B\n[end]\nname c\n", "a", "\n\nname c\n", true, "b"},
        {"every item of the file", "name a\n[end]\nname b\n[end]\n", "b", "\n\n", false, "a"},
    };
    for (const Case& c : cases) {
        std::string after;
        for (char ch : c.after) after += ch == '\n' ? "\r\n" : std::string(1, ch);
        std::vector<std::string> names = {c.name};
        if (c.also) names.push_back(c.also);
        ItemRemoval removal = CopyWithoutItems(c.before, names);
        EXPECT_EQ(removal.copy, after) << c.what;
        EXPECT_EQ(removal.otherItem, c.otherItem) << c.what;
    }
}

}  // namespace
}  // namespace corvane
