// The plain-text logs that the delete and restore commands leave in the
// backup folder. A delete log is written whole, ending in its "end" line,
// before the first library file changes, so that a command cut short can
// still be undone; a log without that line, or with a line that is not one
// of its records, is not one of ours and steers nothing.
//
// One record a line, its fields separated by tabs. Names and paths are the
// library's bytes with four escapes: "\\" for a backslash, "\t" for a tab,
// "\n" for a line feed and "\r" for a carriage return. Paths are relative to
// the library root and "/"-separated on every system (IsPlainRelativePath),
// so that a log written on one system reads the same on the other.
//
// A delete log, "backup/delete-<id>.log":
//   Corvane delete <id>
//   item       <name>  <path>                                  per removed item
//   changed    <path>  <backup>  <size>  <hash before>  <hash after>
//   removed    <path>  <backup>  <size>  <hash before>
//   kept       <backup>  <moved to>                            an earlier backup moved aside
//   untouched  <path>  <reason>       a file the delete left as it was, with its items
//   end
//
// A restore log, "backup/restore-<id>.log", written before the first library
// file changes and again, ending in "done", once the restore is over:
//   Corvane restore <id> of delete <id of the delete command>
//   restored     <path>  <backup>  <kept as>  <what stood there>
//   failed       <path>  <reason>                        not put back
//   passed-over                     the failed files are given up for good
//   done
//
// Backups and kept paths are relative to the library root. <size> is the
// size in bytes of the file as it was; hashes are those of ContentHash.
// <what stood there> is one of kStandingWords.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// A command's id: the UTC time it started as "YYYYMMDDTHHMMSSZ", followed by
// "-2", "-3" and so on when an earlier command already took that time.
std::string CommandStamp(std::int64_t secondsSinceEpoch);
bool IsCommandId(std::string_view text);
// The time an id names, in seconds since the epoch.
std::int64_t CommandTime(std::string_view id);
// The time now, in seconds since the epoch, for CommandStamp.
std::int64_t SecondsNow();
// Ids in the order of their commands.
bool CommandBefore(std::string_view a, std::string_view b);
// The id that follows latest when both fall in one second, or stamp itself
// when it is later; empty when latest has no id after it.
std::string CommandIdAfter(std::string_view latest, std::string_view stamp);
// The id after id within its second; empty when there is none.
std::string NextInSecond(std::string_view id);

// 16 hex digits that tell two versions of a file apart (FNV-1a, 64 bits),
// taken in pieces.
class ContentHasher {
  public:
    void Add(std::string_view bytes);
    std::string Text() const;

  private:
    std::uint64_t m_Hash = 0xcbf29ce484222325;
};
std::string ContentHash(std::string_view bytes);

struct DeleteLog {
    struct Item {
        std::string name;
        std::string path;
        bool operator==(const Item&) const = default;
    };
    struct File {
        std::string path;
        bool removed = false;  // left the library; otherwise rewritten
        std::string backup;    // where the file as it was before was put
        std::uint64_t size = 0;
        std::string hashBefore;
        std::string hashAfter;  // of the rewritten file
        bool operator==(const File&) const = default;
    };
    struct Kept {
        std::string from;
        std::string to;
        bool operator==(const Kept&) const = default;
    };
    struct Untouched {
        std::string path;
        std::string reason;
        bool operator==(const Untouched&) const = default;
    };
    std::string id;
    std::vector<Item> items;
    std::vector<File> files;
    std::vector<Kept> kept;
    std::vector<Untouched> untouched;
    bool operator==(const DeleteLog&) const = default;
};

// What a restore found standing at a library file's path.
enum class Standing : std::uint8_t {
    kAsLeft,       // the file as the delete command left it
    kEdited,       // a file changed since
    kNothing,      // nothing; the delete had removed it, or someone had since
    kOther,        // a link or something else that is not a file; moved aside
    kAlreadyBack,  // the file as it was before the delete: nothing to do
};
inline constexpr const char* kStandingWords[] = {"as-left", "edited", "nothing", "other",
                                                 "already-back"};

struct RestoreLog {
    struct File {
        std::string path;
        std::string backup;  // what it came back from
        std::string keptAs;  // where what stood there went; empty when nothing did
        Standing standing = Standing::kAsLeft;
        bool operator==(const File&) const = default;
    };
    struct Failed {
        std::string path;
        std::string reason;
        bool operator==(const Failed&) const = default;
    };
    std::string id;
    std::string deleteId;
    std::vector<File> files;
    std::vector<Failed> failed;
    bool passedOver = false;
    bool done = false;
    bool operator==(const RestoreLog&) const = default;
};

std::string FormatLog(const DeleteLog& log);
std::string FormatLog(const RestoreLog& log);
// A log read back; nothing, with why saying what is wrong, when its bytes are
// not the whole of one of our logs.
std::optional<DeleteLog> ParseDeleteLog(std::string_view bytes, std::string* why = nullptr);
std::optional<RestoreLog> ParseRestoreLog(std::string_view bytes, std::string* why = nullptr);

// The list of the files a command may leave temporary files beside, written
// before the first of them: "Corvane temporaries <tag>", then one path a
// line, escaped as in the logs.
std::string FormatTemporaries(std::string_view tag, const std::vector<std::string>& targets);
std::optional<std::pair<std::string, std::vector<std::string>>> ParseTemporaries(
    std::string_view bytes);

}  // namespace corvane
