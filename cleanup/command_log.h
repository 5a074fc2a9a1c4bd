// The plain-text logs that the delete and restore commands leave in the
// backup folder. A log is written whole before the first library file
// changes, so that a command cut short can still be undone.
//
// One record a line, its fields separated by tabs. Names and paths are the
// library's bytes with four escapes: "\\" for a backslash, "\t" for a tab,
// "\n" for a line feed and "\r" for a carriage return.
//
// A delete log, "backup/delete-<id>.log":
//   Corvane delete <id>
//   item     <name>  <relative path>                   one line per removed item
//   changed  <relative path>  <backup>  <hash before>  <hash after>
//   removed  <relative path>  <backup>  <hash before>
//   kept     <backup>  <kept as>                       an earlier backup moved aside
//
// A restore log, "backup/restore-<id>.log":
//   Corvane restore <id> of delete <id of the delete command>
//   restored <relative path>  <backup>  <kept as>  <what stood there>
//   done                                              only once every file is back
//
// Backups and kept paths are relative to the library root. Hashes are those
// of ContentHash. <what stood there> is one of kStoodWords.
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
// The time now, in seconds since the epoch, for CommandStamp.
std::int64_t SecondsNow();
// Ids in the order of their commands.
bool CommandBefore(std::string_view a, std::string_view b);
// The id that follows latest when both fall in one second, or stamp itself
// when it is later.
std::string CommandIdAfter(std::string_view latest, std::string_view stamp);

// 16 hex digits that tell two versions of a file apart (FNV-1a, 64 bits).
std::string ContentHash(std::string_view bytes);

struct DeleteLog {
    struct Item {
        std::string name;
        std::string relativePath;
        bool operator==(const Item&) const = default;
    };
    struct File {
        std::string relativePath;
        bool removed = false;  // left the library; otherwise rewritten
        std::string backup;    // where the file as it was before was put
        std::string hashBefore;
        std::string hashAfter;  // of the rewritten file
        bool operator==(const File&) const = default;
    };
    struct Kept {
        std::string from;
        std::string to;
        bool operator==(const Kept&) const = default;
    };
    std::string id;
    std::vector<Item> items;
    std::vector<File> files;
    std::vector<Kept> kept;
    bool operator==(const DeleteLog&) const = default;
};

// What a restore found standing at a library file's path.
enum class Stood : std::uint8_t {
    kAsLeft,       // the file as the delete command left it
    kEdited,       // a file changed since
    kNothing,      // nothing; the delete had removed it, or someone had since
    kOther,        // a link or something else that is not a file; moved aside
    kAlreadyBack,  // the file as it was before the delete: nothing to do
};
inline constexpr const char* kStoodWords[] = {"as-left", "edited", "nothing", "other",
                                              "already-back"};

struct RestoreLog {
    struct File {
        std::string relativePath;
        std::string backup;  // what it came back from
        std::string keptAs;  // where what stood there went; empty when nothing did
        Stood stood = Stood::kAsLeft;
        bool operator==(const File&) const = default;
    };
    std::string id;
    std::string deleteId;
    std::vector<File> files;
    bool done = false;
    bool operator==(const RestoreLog&) const = default;
};

std::string FormatLog(const DeleteLog& log);
std::string FormatLog(const RestoreLog& log);
// The records of a log; nullopt when its first line is not the log's own.
// Lines that are not records are passed over, so that a log cut short still
// gives the lines it holds.
std::optional<DeleteLog> ParseDeleteLog(std::string_view bytes);
std::optional<RestoreLog> ParseRestoreLog(std::string_view bytes);

}  // namespace corvane
