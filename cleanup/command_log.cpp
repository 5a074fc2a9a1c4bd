#include "cleanup/command_log.h"

#include <chrono>
#include <cstdio>

#include "platform/files.h"
#include "text/text.h"

namespace corvane {

namespace {

constexpr size_t kStampSize = 16;  // "YYYYMMDDTHHMMSSZ"
constexpr size_t kMostSequenceDigits = 9;

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

using Record = std::vector<std::string>;

// The lines of a log, each split at its tabs and unescaped; nothing when the
// last line has no line end (the log was cut short).
std::optional<std::vector<Record>> Records(std::string_view bytes) {
    if (bytes.empty() || bytes.back() != '\n') return std::nullopt;
    std::vector<Record> records;
    text::LineReader reader(bytes);
    std::string_view line;
    while (reader.Next(line)) {
        Record& fields = records.emplace_back();
        for (size_t start = 0;;) {
            size_t tab = line.find('\t', start);
            fields.push_back(Unescape(line.substr(start, tab - start)));
            if (tab == std::string_view::npos) break;
            start = tab + 1;
        }
    }
    return records;
}

bool IsBackupPath(std::string_view path) {
    return path.starts_with("backup/") && platform::IsPlainRelativePath(path);
}

bool IsHash(std::string_view text) {
    if (text.size() != 16) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool IsSize(std::string_view text) {
    return IsDigits(text) && text.size() <= 19;
}

// The id in a first line "Corvane <kind> <id>...", or empty.
std::string HeaderId(const std::vector<Record>& records, std::string_view kind,
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

template <typename Log>
std::optional<Log> Refuse(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return std::nullopt;
}

std::string LineText(size_t index) {
    return "line " + std::to_string(index + 1);
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

std::int64_t CommandTime(std::string_view id) {
    using namespace std::chrono;
    auto number = [&](size_t at, size_t size) {
        return std::stoi(std::string(id.substr(at, size)));
    };
    year_month_day date{year(number(0, 4)), month(unsigned(number(4, 2))),
                        day(unsigned(number(6, 2)))};
    sys_seconds time =
        sys_days(date) + hours(number(9, 2)) + minutes(number(11, 2)) + seconds(number(13, 2));
    return time.time_since_epoch().count();
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
    return text[kStampSize] == '-' && IsDigits(sequence) &&
           sequence.size() <= kMostSequenceDigits && sequence[0] != '0' && sequence != "1";
}

bool CommandBefore(std::string_view a, std::string_view b) {
    int byStamp = a.substr(0, kStampSize).compare(b.substr(0, kStampSize));
    if (byStamp != 0) return byStamp < 0;
    return Sequence(a) < Sequence(b);
}

std::string NextInSecond(std::string_view id) {
    std::string next =
        std::string(id.substr(0, kStampSize)) + "-" + std::to_string(Sequence(id) + 1);
    return IsCommandId(next) ? next : std::string();
}

std::string CommandIdAfter(std::string_view latest, std::string_view stamp) {
    if (latest.empty() || CommandBefore(latest, stamp)) return std::string(stamp);
    return NextInSecond(latest);
}

void ContentHasher::Add(std::string_view bytes) {
    std::uint64_t hash = m_Hash;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3;
    }
    m_Hash = hash;
}

std::string ContentHasher::Text() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(m_Hash));
    return text;
}

std::string ContentHash(std::string_view bytes) {
    ContentHasher hasher;
    hasher.Add(bytes);
    return hasher.Text();
}

std::string FormatLog(const DeleteLog& log) {
    std::string out = "Corvane delete " + log.id + "\n";
    for (const DeleteLog::Item& item : log.items) {
        out += "item";
        AppendField(out, item.name);
        AppendField(out, item.path);
        out += '\n';
    }
    for (const DeleteLog::File& file : log.files) {
        out += file.removed ? "removed" : "changed";
        AppendField(out, file.path);
        AppendField(out, file.backup);
        AppendField(out, std::to_string(file.size));
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
    for (const DeleteLog::Untouched& untouched : log.untouched) {
        out += "untouched";
        AppendField(out, untouched.path);
        AppendField(out, untouched.reason);
        out += '\n';
    }
    return out + "end\n";
}

std::string FormatLog(const RestoreLog& log) {
    std::string out = "Corvane restore " + log.id + " of delete " + log.deleteId + "\n";
    for (const RestoreLog::File& file : log.files) {
        out += "restored";
        AppendField(out, file.path);
        AppendField(out, file.backup);
        AppendField(out, file.keptAs);
        AppendField(out, kStandingWords[size_t(file.standing)]);
        out += '\n';
    }
    for (const RestoreLog::Failed& failed : log.failed) {
        out += "failed";
        AppendField(out, failed.path);
        AppendField(out, failed.reason);
        out += '\n';
    }
    if (log.passedOver) out += "passed-over\n";
    if (log.done) out += "done\n";
    return out;
}

std::optional<DeleteLog> ParseDeleteLog(std::string_view bytes, std::string* why) {
    std::optional<std::vector<Record>> records = Records(bytes);
    if (!records) return Refuse<DeleteLog>(why, "it is cut short");
    std::string_view rest;
    DeleteLog log;
    log.id = HeaderId(*records, "delete", &rest);
    if (log.id.empty() || !rest.empty())
        return Refuse<DeleteLog>(why, "its first line is not ours");
    if (records->size() < 2 || records->back() != Record{"end"}) {
        return Refuse<DeleteLog>(why, "it has no end line");
    }
    for (size_t i = 1; i + 1 < records->size(); ++i) {
        const Record& r = (*records)[i];
        const std::string& kind = r[0];
        if (kind == "item" && r.size() == 3 && platform::IsPlainRelativePath(r[2])) {
            log.items.push_back({r[1], r[2]});
        } else if (((kind == "changed" && r.size() == 6 && IsHash(r[5])) ||
                    (kind == "removed" && r.size() == 5)) &&
                   platform::IsPlainRelativePath(r[1]) && IsBackupPath(r[2]) && IsSize(r[3]) &&
                   IsHash(r[4])) {
            log.files.push_back({r[1], kind == "removed", r[2], std::stoull(r[3]), r[4],
                                 r.size() == 6 ? r[5] : ""});
        } else if (kind == "kept" && r.size() == 3 && IsBackupPath(r[1]) && IsBackupPath(r[2])) {
            log.kept.push_back({r[1], r[2]});
        } else if (kind == "untouched" && r.size() == 3 && platform::IsPlainRelativePath(r[1])) {
            log.untouched.push_back({r[1], r[2]});
        } else {
            return Refuse<DeleteLog>(why, LineText(i) + " cannot be read");
        }
    }
    return log;
}

std::optional<RestoreLog> ParseRestoreLog(std::string_view bytes, std::string* why) {
    std::optional<std::vector<Record>> records = Records(bytes);
    if (!records) return Refuse<RestoreLog>(why, "it is cut short");
    std::string_view rest;
    RestoreLog log;
    log.id = HeaderId(*records, "restore", &rest);
    constexpr std::string_view kOf = " of delete ";
    if (log.id.empty() || !rest.starts_with(kOf) || !IsCommandId(rest.substr(kOf.size()))) {
        return Refuse<RestoreLog>(why, "its first line is not ours");
    }
    log.deleteId = rest.substr(kOf.size());
    for (size_t i = 1; i < records->size(); ++i) {
        const Record& r = (*records)[i];
        if (log.done) return Refuse<RestoreLog>(why, LineText(i) + " follows its done line");
        if (r == Record{"done"}) {
            log.done = true;
            continue;
        }
        if (r == Record{"passed-over"}) {
            log.passedOver = true;
            continue;
        }
        if (r[0] == "failed" && r.size() == 3 && platform::IsPlainRelativePath(r[1])) {
            log.failed.push_back({r[1], r[2]});
            continue;
        }
        bool read = false;
        if (r[0] == "restored" && r.size() == 5 && platform::IsPlainRelativePath(r[1]) &&
            IsBackupPath(r[2]) && (r[3].empty() || IsBackupPath(r[3]))) {
            for (size_t word = 0; word < std::size(kStandingWords); ++word) {
                if (r[4] == kStandingWords[word]) {
                    log.files.push_back({r[1], r[2], r[3], Standing(word)});
                    read = true;
                }
            }
        }
        if (!read) return Refuse<RestoreLog>(why, LineText(i) + " cannot be read");
    }
    return log;
}

std::string FormatTemporaries(std::string_view tag, const std::vector<std::string>& targets) {
    std::string out = "Corvane temporaries " + std::string(tag) + "\n";
    for (const std::string& target : targets) {
        AppendField(out, target);
        out += '\n';
    }
    return out;
}

std::optional<std::pair<std::string, std::vector<std::string>>> ParseTemporaries(
    std::string_view bytes) {
    // A list cut short still names the files it got to; the command wrote
    // none beside the others before the list was whole.
    text::LineReader reader(bytes);
    std::string_view line;
    constexpr std::string_view kHeader = "Corvane temporaries ";
    if (!reader.Next(line) || !line.starts_with(kHeader)) return std::nullopt;
    std::pair<std::string, std::vector<std::string>> list{std::string(line.substr(kHeader.size())),
                                                          {}};
    if (list.first.size() != 8) return std::nullopt;
    while (reader.Next(line)) {
        if (!line.starts_with('\t')) continue;
        std::string target = Unescape(line.substr(1));
        if (platform::IsPlainRelativePath(target)) list.second.push_back(std::move(target));
    }
    return list;
}

}  // namespace corvane
