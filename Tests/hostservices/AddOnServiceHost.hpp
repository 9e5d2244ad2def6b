// The add-on attached to a simulated host whose service origin is a local catalogue service
// started for each test, with the transcript and request-log look-ups the tests share.
#pragma once

#include "AddOnHost.hpp"
#include "LocalService.hpp"

#include "GSPref.hpp"

#include <cstdlib>
#include <string>
#include <vector>

class AddOnServiceHostTest : public AddOnHostTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.Running());
        setenv("KORDELA_SERVICE_ORIGIN", service.Origin().c_str(), 1);
        AddOnHostTest::SetUp();
        ASSERT_TRUE(service.Reset());
    }

    static void StoreSetting(const char* key, const std::string& value)
    {
        GSPref::RootKey* root = nullptr;
        ASSERT_EQ(GSPref::OpenRootKey(GSPref::UserRootKey, &root), NoError);
        root->SetStringValue("Kordela", key, value.c_str());
        GSPref::CloseRootKey(root);
    }

    size_t CountLines(const std::string& text) const
    {
        size_t count = 0;
        for (const auto& line : host->TranscriptLines())
            count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }

    std::vector<nlohmann::json> Requests(const std::string& path) const
    {
        std::vector<nlohmann::json> found;
        for (const auto& entry : service.Log())
            if (entry.value("path", "") == path)
                found.push_back(entry);
        return found;
    }

    kordela::test::LocalService service {kordela::test::LocalService::Options::Quiet()};
};
