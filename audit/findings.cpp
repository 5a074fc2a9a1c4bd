#include "audit/findings.h"

namespace corvane {

void FindingsCollector::BeginCheck(const std::string& libraryRoot) {
    m_Findings = Findings();
    m_Findings.libraryRoot = libraryRoot;
}

void FindingsCollector::BeginCategory(std::string_view title) {
    m_Findings.categories.push_back({std::string(title), {}, {}, {}, {}});
}

CategoryFindings& FindingsCollector::Current() {
    if (m_Findings.categories.empty()) m_Findings.categories.emplace_back();
    return m_Findings.categories.back();
}

void FindingsCollector::Duplicate(const DuplicateFinding& finding) {
    Current().duplicates.push_back(finding);
}

void FindingsCollector::SyntaxError(const SyntaxFinding& finding) {
    Current().syntaxErrors.push_back(finding);
}

void FindingsCollector::MissingTexture(const TextureFinding& finding) {
    Current().missingTextures.push_back(finding);
}

void FindingsCollector::MissingComponent(const ComponentFinding& finding) {
    Current().missingComponents.push_back(finding);
}

void FindingsCollector::EndCheck(const std::vector<OlderItem>& olderItems) {
    m_Findings.olderItems = olderItems;
    m_Findings.finished = true;
}

void FindingsCollector::CheckFailed(const std::string& reason) {
    m_Findings.failure = reason;
}

void FindingFanOut::BeginCheck(const std::string& libraryRoot) {
    for (FindingSink* sink : m_Sinks) sink->BeginCheck(libraryRoot);
}

void FindingFanOut::BeginCategory(std::string_view title) {
    for (FindingSink* sink : m_Sinks) sink->BeginCategory(title);
}

void FindingFanOut::Duplicate(const DuplicateFinding& finding) {
    for (FindingSink* sink : m_Sinks) sink->Duplicate(finding);
}

void FindingFanOut::SyntaxError(const SyntaxFinding& finding) {
    for (FindingSink* sink : m_Sinks) sink->SyntaxError(finding);
}

void FindingFanOut::MissingTexture(const TextureFinding& finding) {
    for (FindingSink* sink : m_Sinks) sink->MissingTexture(finding);
}

void FindingFanOut::MissingComponent(const ComponentFinding& finding) {
    for (FindingSink* sink : m_Sinks) sink->MissingComponent(finding);
}

void FindingFanOut::EndCheck(const std::vector<OlderItem>& olderItems) {
    for (FindingSink* sink : m_Sinks) sink->EndCheck(olderItems);
}

void FindingFanOut::CheckFailed(const std::string& reason) {
    for (FindingSink* sink : m_Sinks) sink->CheckFailed(reason);
}

}  // namespace corvane
