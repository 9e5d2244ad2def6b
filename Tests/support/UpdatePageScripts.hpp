// The update and result pages of the object update and of the property-cloud update, played
// by script: the update page takes its list, checks it and sends the choice; the result page
// takes and checks its list and closes. The legacy web view of host 18 hands each list over
// once the page has loaded and takes the choice through its script object.
#pragma once

#include "AddOnHarness.hpp"

#include <nlohmann/json.hpp>

#include <string>

struct UpdatePageNames {
    const char* updatePage;
    const char* resultPage;
    const char* getInfo;         // message asking for the update list
    const char* doUpdate;        // message sending the choice
    const char* resultGetInfo;   // message asking for the result list
    const char* legacyDoUpdate;  // the legacy script object's function taking the choice
};

inline constexpr UpdatePageNames ObjectUpdatePages {
    "/CadApplication/ProductUpdate", "/CadApplication/ProductUpdateResult", "productUpdateGetInfo",
    "productUpdateDoUpdate",         "productUpdateResultGetInfo",          "ExtUpdateProducts"};
inline constexpr UpdatePageNames CloudUpdatePages {"/CadApplication/KdpcUpdate", "/CadApplication/KDPCUpdateResult",
                                                   "kdpcUpdateGetInfo",          "kdpcUpdateDoUpdate",
                                                   "kdpcUpdateResultGetInfo",    "ExtUpdateKDPC"};

inline void ScriptUpdatePage(DevHost::ScriptedPages& pages, const UpdatePageNames& names,
                             const std::string& expectedList, const std::string& choice)
{
    using Kind = DevHost::PageStep::Kind;
    kordela::test::AddBridgeCall(pages, names.updatePage, {.message = names.getInfo});
    pages.AddStep(names.updatePage, {Kind::Await, "FakePost", {}});
    pages.AddStep(names.updatePage, {Kind::Expect, expectedList, {}});
    kordela::test::AddBridgeCall(pages, names.updatePage,
                                 {.message = names.doUpdate,
                                  .fields = {{"items", choice}},
                                  .legacyFunction = names.legacyDoUpdate,
                                  .legacyArgs = {nlohmann::json(choice).dump()}});
}

inline void ScriptResultPage(DevHost::ScriptedPages& pages, const UpdatePageNames& names, const std::string& expected)
{
    using Kind = DevHost::PageStep::Kind;
    kordela::test::AddBridgeCall(pages, names.resultPage, {.message = names.resultGetInfo});
    pages.AddStep(names.resultPage, {Kind::Await, "FakePost", {}});
    pages.AddStep(names.resultPage, {Kind::Expect, expected, {}});
    pages.AddStep(names.resultPage, {Kind::Close, {}, {}});
}
