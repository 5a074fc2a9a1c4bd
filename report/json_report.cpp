#include "report/json_report.h"

#include <nlohmann/json.hpp>

#include "platform/files.h"

namespace corvane {

namespace {

using Json = nlohmann::ordered_json;

// Well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing above U+10FFFF.
bool IsUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        unsigned char low = 0x80, high = 0xBF;  // the second byte's range
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

std::string JsonPath(std::string_view path) {
    std::string text = JsonText(path);
    if (platform::kSeparator != '/') {
        for (char& c : text) {
            if (c == platform::kSeparator) c = '/';
        }
    }
    return text;
}

Json Category(const CategoryFindings& category) {
    Json duplicates = Json::array();
    for (const DuplicateFinding& d : category.duplicates) {
        duplicates.push_back({{"name", JsonText(d.name)},
                              {"file", JsonPath(d.file)},
                              {"earlier_file", JsonPath(d.earlierFile)},
                              {"older", JsonPath(d.Older())},
                              {"line_number", d.lineNumber},
                              {"earlier_line_number", d.earlierLineNumber}});
    }
    Json syntaxErrors = Json::array();
    for (const SyntaxFinding& s : category.syntaxErrors) {
        syntaxErrors.push_back({{"line", JsonText(s.line)},
                                {"file", JsonPath(s.file)},
                                {"line_number", s.lineNumber}});
    }
    Json textures = Json::array();
    for (const TextureFinding& t : category.missingTextures) {
        textures.push_back({{"texture", JsonText(t.texture)},
                            {"file", JsonPath(t.file)},
                            {"line_number", t.lineNumber}});
    }
    Json components = Json::array();
    for (const ComponentFinding& c : category.missingComponents) {
        Json files = Json::array();
        for (const std::string& file : c.files) files.push_back(JsonPath(file));
        components.push_back({{"component", JsonText(c.component)},
                              {"files", std::move(files)},
                              {"line_numbers", c.lineNumbers}});
    }
    Json json = Json::object();
    json["title"] = JsonText(category.title);
    json["duplicates"] = std::move(duplicates);
    json["syntax_errors"] = std::move(syntaxErrors);
    json["missing_textures"] = std::move(textures);
    json["missing_components"] = std::move(components);
    return json;
}

}  // namespace

std::string JsonText(std::string_view bytes) {
    if (IsUtf8(bytes)) return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char byte : bytes) {
        unsigned char c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            text += byte;
        } else {
            text += char(0xC0 | (c >> 6));
            text += char(0x80 | (c & 0x3F));
        }
    }
    return text;
}

std::string JsonReport(const Findings& findings) {
    Json categories = Json::array();
    for (const CategoryFindings& category : findings.categories) {
        categories.push_back(Category(category));
    }
    Json older = Json::array();
    for (const OlderItem& item : findings.olderItems) {
        older.push_back({{"name", JsonText(item.name)},
                         {"file", JsonPath(item.file)},
                         {"line_number", item.lineNumber}});
    }
    Json json = Json::object();
    json["library"] = JsonText(findings.libraryRoot);
    json["categories"] = std::move(categories);
    json["older_items"] = std::move(older);
    return json.dump(2) + "\n";
}

}  // namespace corvane
