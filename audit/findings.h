// What a check run finds, in the order the report shows it: per category the
// duplicate item names, then the syntax errors, the missing textures and the
// missing components; at the end the older items that the delete command may
// take out. Every path here is relative to the library root; every line
// number is 1-based, lines ending at a line feed as the check splits them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// A name defined again: file holds the definition met now, earlierFile the
// one met before it, each on its name line. One of the two is the older.
struct DuplicateFinding {
    std::string name;
    std::string file;
    std::string earlierFile;
    bool fileIsOlder = false;
    size_t lineNumber = 0;
    size_t earlierLineNumber = 0;

    const std::string& Older() const { return fileIsOlder ? file : earlierFile; }
    size_t OlderLineNumber() const { return fileIsOlder ? lineNumber : earlierLineNumber; }
    bool operator==(const DuplicateFinding&) const = default;
};

// A line (trimmed and lower-cased) that the scan cannot read as it stands.
struct SyntaxFinding {
    std::string line;
    std::string file;
    size_t lineNumber = 0;
    bool operator==(const SyntaxFinding&) const = default;
};

// A texture that a line names and no folder holds.
struct TextureFinding {
    std::string texture;
    std::string file;
    size_t lineNumber = 0;
    bool operator==(const TextureFinding&) const = default;
};

// A component referred to that no item of the category defines, with the
// files whose lines referred to it and, for each, the first such line.
struct ComponentFinding {
    std::string component;
    std::vector<std::string> files;
    std::vector<size_t> lineNumbers;  // one per file
    bool operator==(const ComponentFinding&) const = default;
};

// An older copy of a duplicate item, which the delete command takes out of
// its file; lineNumber is its name line.
struct OlderItem {
    std::string name;
    std::string file;
    size_t lineNumber = 0;
    bool operator==(const OlderItem&) const = default;
};

// Where a check run puts its findings as it meets them. Each run calls
// BeginCheck, then for each category BeginCategory followed by its findings,
// and ends with either EndCheck or, when the run fails, CheckFailed.
class FindingSink {
  public:
    virtual ~FindingSink() = default;
    // libraryRoot ends in the separator.
    virtual void BeginCheck(const std::string& libraryRoot) = 0;
    virtual void BeginCategory(std::string_view title) = 0;
    virtual void Duplicate(const DuplicateFinding& finding) = 0;
    virtual void SyntaxError(const SyntaxFinding& finding) = 0;
    virtual void MissingTexture(const TextureFinding& finding) = 0;
    virtual void MissingComponent(const ComponentFinding& finding) = 0;
    virtual void EndCheck(const std::vector<OlderItem>& olderItems) = 0;
    // The run ends on an error; reason says what failed. Must not throw.
    virtual void CheckFailed(const std::string& reason) = 0;
};

struct CategoryFindings {
    std::string title;
    std::vector<DuplicateFinding> duplicates;
    std::vector<SyntaxFinding> syntaxErrors;
    std::vector<TextureFinding> missingTextures;
    std::vector<ComponentFinding> missingComponents;
    bool operator==(const CategoryFindings&) const = default;
};

// Everything one check run found.
struct Findings {
    std::string libraryRoot;
    std::vector<CategoryFindings> categories;
    std::vector<OlderItem> olderItems;
    bool finished = false;
    std::string failure;  // why the run ended early, when it did
};

// Keeps the findings of a run in memory.
class FindingsCollector final : public FindingSink {
  public:
    const Findings& Result() const { return m_Findings; }

    void BeginCheck(const std::string& libraryRoot) override;
    void BeginCategory(std::string_view title) override;
    void Duplicate(const DuplicateFinding& finding) override;
    void SyntaxError(const SyntaxFinding& finding) override;
    void MissingTexture(const TextureFinding& finding) override;
    void MissingComponent(const ComponentFinding& finding) override;
    void EndCheck(const std::vector<OlderItem>& olderItems) override;
    void CheckFailed(const std::string& reason) override;

  private:
    CategoryFindings& Current();

    Findings m_Findings;
};

// Hands every finding to several sinks, in the order given.
class FindingFanOut final : public FindingSink {
  public:
    explicit FindingFanOut(std::vector<FindingSink*> sinks) : m_Sinks(std::move(sinks)) {}

    void BeginCheck(const std::string& libraryRoot) override;
    void BeginCategory(std::string_view title) override;
    void Duplicate(const DuplicateFinding& finding) override;
    void SyntaxError(const SyntaxFinding& finding) override;
    void MissingTexture(const TextureFinding& finding) override;
    void MissingComponent(const ComponentFinding& finding) override;
    void EndCheck(const std::vector<OlderItem>& olderItems) override;
    void CheckFailed(const std::string& reason) override;

  private:
    std::vector<FindingSink*> m_Sinks;
};

}  // namespace corvane
