#include "DevHost/ProjectCommands.hpp"

#include "DevHost/Project.hpp"

#include "GSPref.hpp"

#include <cstdlib>
#include <functional>
#include <optional>
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
    using Parsed = Scenario::Parsed;
    using Words = Scenario::Words;
    Project& project = host.GetProject();
    scenario.AddCommand("open-project", [&project](const Words& w) -> Parsed {
        if (w.size() != 2)
            return Scenario::Usage("open-project FILE");
        return [&project, file = w[1]] { return project.Open(file, true); };
    });
    scenario.AddCommand("save-project", [&project](const Words& w) -> Parsed {
        if (w.size() > 2)
            return Scenario::Usage("save-project [FILE]");
        return [&project, file = w.size() == 2 ? std::optional<std::string>(w[1]) : std::nullopt] {
            return project.Save(file.value_or(project.File()));
        };
    });
    scenario.AddCommand("select", [&project](const Words& w) -> Parsed {
        if (w.size() < 2)
            return Scenario::Usage("select GUID [GUID ...] | select none");
        std::vector<std::string> guids;
        if (w.size() > 2 || w[1] != "none")
            guids.assign(w.begin() + 1, w.end());
        return [&project, guids] { return project.SelectElements(guids); };
    });
    // Writes what the project describes of a part or an element into the transcript.
    const auto print = [&host](const char* usage, const char* none,
                               std::function<std::string(const std::string&)> describe) {
        return [&host, usage, none, describe](const Words& w) -> Parsed {
            if (w.size() != 2)
                return Scenario::Usage(usage);
            return [&host, none, describe, name = w[1]] {
                const std::string text = describe(name);
                if (text.empty())
                    return none + name;
                PrintLines(host, text);
                return std::string();
            };
        };
    };
    scenario.AddCommand("print-part",
                        print("print-part INDEX|UNIQUE-ID|NAME", "no library part ",
                              [&project](const std::string& name) { return project.DescribePart(name); }));
    scenario.AddCommand("print-element",
                        print("print-element GUID", "no element ",
                              [&project](const std::string& guid) { return project.DescribeElement(guid); }));
    // What a user would have entered in an earlier session, e.g. the API key.
    scenario.AddCommand("set-setting", [](const Words& w) -> Parsed {
        if (w.size() != 3)
            return Scenario::Usage("set-setting KEY VALUE");
        return [key = w[1], value = w[2]] {
            GSPref::RootKey* root = nullptr;
            if (GSPref::OpenRootKey(GSPref::UserRootKey, &root) != NoError || root == nullptr)
                return std::string("the preference store cannot be opened");
            const GSErrCode result = root->SetStringValue("Kordela", GS::UniString(key), GS::UniString(value));
            GSPref::CloseRootKey(root);
            return result == NoError ? std::string() : "cannot store " + key;
        };
    });
}

}  // namespace DevHost
