#include "report/json_report.h"

#include <nlohmann/json.hpp>

#include "platform/files.h"
#include "text/text.h"

namespace corvane {

namespace {

using Json = nlohmann::ordered_json;

std::string JsonPath(std::string_view path) {
    std::string text = text::Utf8OrLatin1(path);
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
        duplicates.push_back({{"name", text::Utf8OrLatin1(d.name)},
                              {"file", JsonPath(d.file)},
                              {"earlier_file", JsonPath(d.earlierFile)},
                              {"older", JsonPath(d.Older())},
                              {"line_number", d.lineNumber},
                              {"earlier_line_number", d.earlierLineNumber}});
    }
    Json syntaxErrors = Json::array();
    for (const SyntaxFinding& s : category.syntaxErrors) {
        syntaxErrors.push_back({{"line", text::Utf8OrLatin1(s.line)},
                                {"file", JsonPath(s.file)},
                                {"line_number", s.lineNumber}});
    }
    Json textures = Json::array();
    for (const TextureFinding& t : category.missingTextures) {
        textures.push_back({{"texture", text::Utf8OrLatin1(t.texture)},
                            {"file", JsonPath(t.file)},
                            {"line_number", t.lineNumber}});
    }
    Json components = Json::array();
    for (const ComponentFinding& c : category.missingComponents) {
        Json files = Json::array();
        for (const std::string& file : c.files) files.push_back(JsonPath(file));
        components.push_back({{"component", text::Utf8OrLatin1(c.component)},
                              {"files", std::move(files)},
                              {"line_numbers", c.lineNumbers}});
    }
    Json json = Json::object();
    json["title"] = text::Utf8OrLatin1(category.title);
    json["duplicates"] = std::move(duplicates);
    json["syntax_errors"] = std::move(syntaxErrors);
    json["missing_textures"] = std::move(textures);
    json["missing_components"] = std::move(components);
    return json;
}

}  // namespace

std::string JsonReport(const Findings& findings) {
    Json categories = Json::array();
    for (const CategoryFindings& category : findings.categories) {
        categories.push_back(Category(category));
    }
    Json older = Json::array();
    for (const OlderItem& item : findings.olderItems) {
        older.push_back({{"name", text::Utf8OrLatin1(item.name)},
                         {"file", JsonPath(item.file)},
                         {"line_number", item.lineNumber}});
    }
    Json json = Json::object();
    json["library"] = text::Utf8OrLatin1(findings.libraryRoot);
    json["categories"] = std::move(categories);
    json["older_items"] = std::move(older);
    return json.dump(2) + "\n";
}

}  // namespace corvane
