#include "platform/codepage.h"
#include "text/text.h"

namespace corvane::platform {

void AppendInCodePage(std::string& out, std::string_view name, UnheldCharacter) {
    out.append(name);
}

std::string_view FileNameOfText(std::string_view text, std::string&) {
    return text;
}

std::string DisplayText(std::string_view text) {
    return text::Utf8OrLatin1(text);
}

void WriteText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace corvane::platform
