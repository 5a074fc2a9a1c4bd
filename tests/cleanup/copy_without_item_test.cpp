// Which lines the copy of a library file keeps when an item comes out.
#include <gtest/gtest.h>

#include "cleanup/delete_older.h"

namespace corvane {
namespace {

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
        {"every item of the file", "name a\n[end]\nname b\n[end]\n", "b", "\r\n\r\n", false,
         "a"},
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
