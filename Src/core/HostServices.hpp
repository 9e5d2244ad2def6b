// Small conveniences over the host API that every module of the add-on uses.
#pragma once

#include "ACAPI.hpp"
#include "IO.hpp"

#include <string>

// The add-on's own version, compared with the published one at each palette opening.
constexpr const char* AddOnVersion = "3.2";

// Host special folders by role; their numbers moved between host versions.
enum class SpecialFolder { DownloadBase, TemporaryBase, Help };
API_SpecFolderID SpecialFolderId(SpecialFolder folder);
GSErrCode GetSpecialFolder(SpecialFolder folder, IO::Location* location);

// The download folder a fresh installation uses: the host's documents folder + "KordelaLibrary".
std::string DefaultDownloadFolderPath();

// Shows a text in the host's report window as an alert.
void ReportAlert(const char* text);
// Writes a line into the host's report window, without an alert.
void ReportLine(const std::string& text);

// `text` for an alert or a log line, its control characters shown as '?' so that it stays
// one line whatever a page or an answer put into it.
std::string VisibleOnOneLine(std::string text);

// Item `index` of one of the add-on's string lists; empty when it cannot be read.
std::string LocString(short resId, short index);

// Hosts before 18 take resources from the current module instead of a passed one: this
// makes the add-on's module current for the scope's lifetime. Elsewhere it does nothing.
class OwnResModuleScope {
public:
    OwnResModuleScope();
    ~OwnResModuleScope();
    OwnResModuleScope(const OwnResModuleScope&) = delete;
    OwnResModuleScope& operator=(const OwnResModuleScope&) = delete;

private:
    [[maybe_unused]] GSResModule previous_ = 0;
};

constexpr const char* KordelaFolderName = "KordelaLibrary";
