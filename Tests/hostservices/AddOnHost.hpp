// The add-on linked into the test, attached to a simulated host that has a project open.
#pragma once

#include "DevHost/Host.hpp"
#include "DevHost/Project.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

extern "C" GSErrCode GetExportedFuncAddrs(API_AddOnExports* exports);
extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

class AddOnHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        const std::string resources =
            (std::filesystem::path(KORDELA_MODULE_PATH).parent_path() / "Resources").string();
        ASSERT_EQ(host->Attach(GetExportedFuncAddrs, SetImportedFuncAddrs, resources, "add-on"), "");
    }

    void OpenSampleProject()
    {
        ASSERT_EQ(host->GetProject().Open(std::string(KORDELA_SOURCE_DIR) + "/Samples/project/Project.json", true), "");
    }

    int32_t IndexOf(const std::string& name) const
    {
        for (const auto& part : host->GetProject().Parts())
            if (part.name == name)
                return part.index;
        return 0;
    }

    std::string Profile() const { return host->ProfileFolder(); }

    std::unique_ptr<DevHost::Host> host;
};
