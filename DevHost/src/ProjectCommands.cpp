#include "DevHost/ProjectCommands.hpp"

#include "DevHost/Project.hpp"

#include "GSPref.hpp"

#include <cstdlib>
#include <sstream>

namespace DevHost {
namespace {

void PrintLines(Host& host, const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        host.Transcript(line);
}

}  // namespace

void AddProjectCommands(Scenario& scenario, Host& host)
{
    Project& project = host.GetProject();
    scenario.AddCommand("open-project", [&project](const std::vector<std::string>& w) {
        if (w.size() != 2)
            return std::string("usage: open-project FILE");
        return project.Open(w[1], true);
    });
    scenario.AddCommand("save-project", [&project](const std::vector<std::string>& w) {
        if (w.size() > 2)
            return std::string("usage: save-project [FILE]");
        return project.Save(w.size() == 2 ? w[1] : project.File());
    });
    scenario.AddCommand("select", [&project](const std::vector<std::string>& w) {
        if (w.size() < 2)
            return std::string("usage: select GUID [GUID ...] | select none");
        if (w.size() == 2 && w[1] == "none")
            return project.SelectElements({});
        return project.SelectElements(std::vector<std::string>(w.begin() + 1, w.end()));
    });
    scenario.AddCommand("print-part", [&host, &project](const std::vector<std::string>& w) {
        if (w.size() != 2)
            return std::string("usage: print-part INDEX|UNIQUE-ID|NAME");
        const std::string text = project.DescribePart(w[1]);
        if (text.empty())
            return "no library part " + w[1];
        PrintLines(host, text);
        return std::string();
    });
    scenario.AddCommand("print-element", [&host, &project](const std::vector<std::string>& w) {
        if (w.size() != 2)
            return std::string("usage: print-element GUID");
        const std::string text = project.DescribeElement(w[1]);
        if (text.empty())
            return "no element " + w[1];
        PrintLines(host, text);
        return std::string();
    });
    // What a user would have entered in an earlier session, e.g. the API key.
    scenario.AddCommand("set-setting", [](const std::vector<std::string>& w) {
        if (w.size() != 3)
            return std::string("usage: set-setting KEY VALUE");
        GSPref::RootKey* root = nullptr;
        if (GSPref::OpenRootKey(GSPref::UserRootKey, &root) != NoError || root == nullptr)
            return std::string("the preference store cannot be opened");
        const GSErrCode result = root->SetStringValue("Kordela", GS::UniString(w[1]), GS::UniString(w[2]));
        GSPref::CloseRootKey(root);
        return result == NoError ? std::string() : "cannot store " + w[1];
    });
}

}  // namespace DevHost
