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
    std::string bytes;
    const platform::FileAttributes time =
        platform::RealFileSystem().ReadFileWithAttributes(library.Path(cases[0].file), bytes);
    const std::int64_t start = std::time(nullptr);
    const DeleteResult result = testing::Delete(library.Root(), older);
    EXPECT_FALSE(result.Failed()) << testing::Join(result.problems);
    EXPECT_EQ(result.warnings, std::vector<std::string>{});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string backup = std::string("backup/") + c.file;
        EXPECT_EQ(library.Read(backup), c.before);
        const platform::FileAttributes saved =
            platform::RealFileSystem().ReadFileWithAttributes(library.Path(backup), bytes);
        EXPECT_EQ(std::pair(saved.lastWriteSeconds, saved.lastWriteNanoseconds),
                  std::pair(time.lastWriteSeconds, time.lastWriteNanoseconds));
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
        EXPECT_GE(platform::RealFileSystem()
                      .ReadFileWithAttributes(library.Path(c.file), bytes)
                      .lastWriteSeconds,
                  start);
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
    const Case cases[] = {
        {"only item", "name coach\r\nskin x\r\n[end]\r\n", "coach", "\r\n", false},
        {"two items of the name", "name coach\n[end]\nname wagon\n[end]\nname coach\n[end]\n",
         "coach", "\r\nname wagon\r\n[end]\r\n\r\n", true},
        {"no [end] at the end of the file", "name wagon\n[end]\nname coach\nskin x\n", "coach",
         "name wagon\r\n[end]\r\n\r\n", true},
        {"no [end] before the next item", "name coach\nskin x\nname wagon\n[end]\n", "coach",
         "\r\nname wagon\r\n[end]\r\n", true},
        {"no [end] before another copy", "name coach\nname coach\n[end]\nname w\n", "coach",
         "\r\n\r\nname w\r\n", true},
        {"[END] in capitals", "name coach\n[END]\nname x\n[end]\n", "coach",
         "\r\nname x\r\n[end]\r\n", true},
        {"[end] with a note", "name coach\n  [end] // note\nafter\n", "coach", "\r\nafter\r\n",
         false},
        {"indented upper-case name line", "  \tNAME Coach A  \nx\n[end]\n", "coach a", "\r\n",
         false},
        {"name line with a comment", "name coach // old\n[end]\nname b # new\n", "coach",
         "\r\nname b # new\r\n", true},
        {"nameplate outside the item", "nameplate 3\nname coach\n[end]\n", "coach",
         "nameplate 3\r\n\r\n", true},
        {"lines outside items do not keep a file", "// header\nname coach\n[end]\ntrailer\n",
         "coach", "// header\r\n\r\ntrailer\r\n", false},
        {"edited after the check", "name wagon\n[end]\n", "coach", "name wagon\r\n[end]\r\n", true},
        {"no name line at all", "just text\n", "coach", "just text\r\n", false},
        {"LF only, last line without a line end", "name wagon\nskin  x \n[end]", "coach",
         "name wagon\r\nskin  x \r\n[end]\r\n", true},
        {"kept lines stay exactly as read", "name w\ninclude 0 0 0 [d3d]Tree[left]\na\rb\n\t \n",
         "coach", "name w\r\ninclude 0 0 0 [d3d]Tree[left]\r\na\rb\r\n\t \r\n", true},
        {"bytes are not text", std::string("name w\n\xff\0\x80\n", 10), "coach",
         std::string("name w\r\n\xff\0\x80\r\n", 13), true},
        {"empty file", "", "coach", "", false},
        {"two names, one item running into the next", "name a\nname B\n[end]\nname c\n", "a",
         "\r\n\r\nname c\r\n", true, "b"},
        {"every item of the file", "name a\n[end]\nname b\n[end]\n", "b", "\r\n\r\n", false, "a"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names = {c.name};
        if (c.also) names.push_back(c.also);
        ItemRemoval removal = CopyWithoutItems(c.before, names);
        EXPECT_EQ(removal.copy, c.after) << c.what;
        EXPECT_EQ(removal.otherItem, c.otherItem) << c.what;
    }
}

}  // namespace
}  // namespace corvane
