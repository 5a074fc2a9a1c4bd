#include "cleanup/command_log.h"

#include <chrono>
#include <cstdio>

#include "text/text.h"

namespace corvane {

namespace {

constexpr size_t kStampSize = 16;  // "YYYYMMDDTHHMMSSZ"

bool IsDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// The number after the stamp: 1 when there is none.
unsigned long Sequence(std::string_view id) {
    return id.size() > kStampSize ? std::stoul(std::string(id.substr(kStampSize + 1))) : 1;
}

void AppendField(std::string& out, std::string_view field) {
    out += '\t';
    for (char c : field) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

std::string Unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c == '\\' && i + 1 < field.size()) {
            switch (field[i + 1]) {
                case '\\':
                    c = '\\';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                default:
                    out += c;
                    continue;
            }
            ++i;
        }
        out += c;
    }
    return out;
}

// The lines of a log, each split at its tabs and unescaped.
std::vector<std::vector<std::string>> Records(std::string_view bytes) {
    std::vector<std::vector<std::string>> records;
    text::LineReader reader(bytes);
    std::string_view line;
    while (reader.Next(line)) {
        std::vector<std::string>& fields = records.emplace_back();
        for (size_t start = 0;;) {
            size_t tab = line.find('\t', start);
            fields.push_back(Unescape(line.substr(start, tab - start)));
            if (tab == std::string_view::npos) break;
            start = tab + 1;
        }
    }
    return records;
}

// A path below the library root that stays below it: no leading separator,
// no empty, "." or ".." part. Logs are read back from the disk, where anyone
// may have put them.
bool IsPlainRelative(std::string_view path) {
    if (path.empty()) return false;
    for (size_t start = 0;;) {
        size_t sep = path.find('/', start);
        std::string_view part = path.substr(start, sep - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (sep == std::string_view::npos) return true;
        start = sep + 1;
    }
}

bool IsBackupPath(std::string_view path) {
    return path.starts_with("backup/") && IsPlainRelative(path);
}

// The id in a first line "Corvane <kind> <id>...", or empty.
std::string HeaderId(const std::vector<std::vector<std::string>>& records, std::string_view kind,
                     std::string_view* rest) {
    if (records.empty() || records[0].size() != 1) return {};
    std::string_view header = records[0][0];
    std::string prefix = "Corvane " + std::string(kind) + " ";
    if (!header.starts_with(prefix)) return {};
    header.remove_prefix(prefix.size());
    std::string_view id = header.substr(0, header.find(' '));
    if (!IsCommandId(id)) return {};
    *rest = header.substr(id.size());
    return std::string(id);
}

}  // namespace

std::string CommandStamp(std::int64_t secondsSinceEpoch) {
    using namespace std::chrono;
    sys_seconds time{seconds(secondsSinceEpoch)};
    sys_days day = floor<days>(time);
    year_month_day date(day);
    hh_mm_ss clock(time - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02uT%02d%02d%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    return text;
}

std::int64_t SecondsNow() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

bool IsCommandId(std::string_view text) {
    if (text.size() < kStampSize) return false;
    std::string_view stamp = text.substr(0, kStampSize);
    if (!IsDigits(stamp.substr(0, 8)) || stamp[8] != 'T' || !IsDigits(stamp.substr(9, 6)) ||
        stamp[15] != 'Z') {
        return false;
    }
    if (text.size() == kStampSize) return true;
    std::string_view sequence = text.substr(kStampSize + 1);
    return text[kStampSize] == '-' && IsDigits(sequence) && sequence.size() <= 9 &&
           sequence[0] != '0';
}

bool CommandBefore(std::string_view a, std::string_view b) {
    int byStamp = a.substr(0, kStampSize).compare(b.substr(0, kStampSize));
    if (byStamp != 0) return byStamp < 0;
    return Sequence(a) < Sequence(b);
}

std::string CommandIdAfter(std::string_view latest, std::string_view stamp) {
    if (latest.empty() || CommandBefore(latest, stamp)) return std::string(stamp);
    return std::string(latest.substr(0, kStampSize)) + "-" + std::to_string(Sequence(latest) + 1);
}

std::string ContentHash(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string FormatLog(const DeleteLog& log) {
    std::string out = "Corvane delete " + log.id + "\n";
    for (const DeleteLog::Item& item : log.items) {
        out += "item";
        AppendField(out, item.name);
        AppendField(out, item.relativePath);
        out += '\n';
    }
    for (const DeleteLog::File& file : log.files) {
        out += file.removed ? "removed" : "changed";
        AppendField(out, file.relativePath);
        AppendField(out, file.backup);
        AppendField(out, file.hashBefore);
        if (!file.removed) AppendField(out, file.hashAfter);
        out += '\n';
    }
    for (const DeleteLog::Kept& kept : log.kept) {
        out += "kept";
        AppendField(out, kept.from);
        AppendField(out, kept.to);
        out += '\n';
    }
    return out;
}

std::string FormatLog(const RestoreLog& log) {
    std::string out = "Corvane restore " + log.id + " of delete " + log.deleteId + "\n";
    for (const RestoreLog::File& file : log.files) {
        out += "restored";
        AppendField(out, file.relativePath);
        AppendField(out, file.backup);
        AppendField(out, file.keptAs);
        AppendField(out, kStoodWords[size_t(file.stood)]);
        out += '\n';
    }
    if (log.done) out += "done\n";
    return out;
}

std::optional<DeleteLog> ParseDeleteLog(std::string_view bytes) {
    const std::vector<std::vector<std::string>> records = Records(bytes);
    std::string_view rest;
    DeleteLog log;
    log.id = HeaderId(records, "delete", &rest);
    if (log.id.empty() || !rest.empty()) return std::nullopt;
    for (size_t i = 1; i < records.size(); ++i) {
        const std::vector<std::string>& r = records[i];
        if (r[0] == "item" && r.size() == 3) {
            log.items.push_back({r[1], r[2]});
        } else if ((r[0] == "changed" && r.size() == 5) || (r[0] == "removed" && r.size() == 4)) {
            if (!IsPlainRelative(r[1]) || !IsBackupPath(r[2])) return std::nullopt;
            log.files.push_back({r[1], r[0] == "removed", r[2], r[3], r.size() == 5 ? r[4] : ""});
        } else if (r[0] == "kept" && r.size() == 3) {
            log.kept.push_back({r[1], r[2]});
        }
    }
    return log;
}

std::optional<RestoreLog> ParseRestoreLog(std::string_view bytes) {
    const std::vector<std::vector<std::string>> records = Records(bytes);
    std::string_view rest;
    RestoreLog log;
    log.id = HeaderId(records, "restore", &rest);
    constexpr std::string_view kOf = " of delete ";
    if (log.id.empty() || !rest.starts_with(kOf) || !IsCommandId(rest.substr(kOf.size()))) {
        return std::nullopt;
    }
    log.deleteId = rest.substr(kOf.size());
    for (size_t i = 1; i < records.size(); ++i) {
        const std::vector<std::string>& r = records[i];
        if (r[0] == "done" && r.size() == 1) log.done = true;
        if (r[0] != "restored" || r.size() != 5) continue;
        for (size_t word = 0; word < std::size(kStoodWords); ++word) {
            if (r[4] == kStoodWords[word]) {
                log.files.push_back({r[1], r[2], r[3], Stood(word)});
            }
        }
    }
    return log;
}

}  // namespace corvane
