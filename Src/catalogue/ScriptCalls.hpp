// What the pages' script calls reach above the catalogue: the object update and the property
// clouds. The bridge dispatch registers the calls; until then each answers as a failed one.
// Texts handed back belong to the caller.
#pragma once

#include <functional>
#include <memory>

struct ScriptCalls {
    // The page hands the cloud id first.
    std::function<long(int cloudId, int libPartIndex)> addKDPC = [](int, int) { return -1L; };
    std::function<long(int cloudId, int libPartIndex)> linkKDPC = [](int, int) { return -1L; };
    std::function<long(int cloudId, int libPartIndex)> unlinkKDPC = [](int, int) { return -1L; };

    std::function<std::unique_ptr<char[]>()> getUpdateInfo = [] { return std::unique_ptr<char[]>(); };
    std::function<std::unique_ptr<char[]>()> getUpdateResultInfo = [] { return std::unique_ptr<char[]>(); };
    std::function<long(char* items)> updateProducts = [](char*) { return -1L; };

    std::function<std::unique_ptr<char[]>()> getKDPCUpdateInfo = [] { return std::unique_ptr<char[]>(); };
    std::function<std::unique_ptr<char[]>()> getKDPCUpdateResultInfo = [] { return std::unique_ptr<char[]>(); };
    std::function<long(char* items)> updateKDPC = [](char*) { return -1L; };
};

void RegisterScriptCalls(ScriptCalls calls);
const ScriptCalls& RegisteredScriptCalls();
