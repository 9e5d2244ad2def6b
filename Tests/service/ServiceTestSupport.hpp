#pragma once

#include "LocalService.hpp"
#include "XmlDocument.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kordela::test {

// Keys of Samples/catalogue.json.
inline const std::string KeyWithThreeMails = "3f2504e0-4f89-11d3-9a0c-0305e82c3301";
inline const std::string KeyWithManyMails = "9B1DEB4D-3B7D-4BAD-9BDD-2B0D7B3DCB6D";
inline const std::string UnknownKey = "11111111-2222-3333-4444-555555555555";
inline const std::string ChairUrl = "kordela.example/Product/1234";
inline const std::string ChairGuid = "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B";
inline const std::string DoorGuid = "B3A1C9D2-7E44-4F0B-9C1A-5D6E7F809A1B";
inline const std::string WindowGuid = "D4C3B2A1-F6E5-4817-8A9B-0C1D2E3F4A5C";

// The request texts exactly as the add-on writes them (single quotes, no escaping).
inline std::string ProductGuidsRequest(const std::string& key, const std::string& url)
{
    return "<?xml version='1.0' encoding='UTF-8'?><Bim API='" + key + "'><Objects><Object ProductId='" + url +
           "' /></Objects></Bim>";
}

inline std::string UnreadMailRequest(const std::string& key)
{
    return "<?xml version='1.0' encoding='UTF-8'?><Bim API='" + key + "'></Bim>";
}

inline const std::string FeaturedRequest = "<?xml version='1.0' encoding='UTF-8'?><Bim Application='ArchiCAD'></Bim>";

inline std::string UpdateRequest(const std::string& key, const std::vector<std::string>& guids)
{
    std::string objects;
    for (const std::string& guid : guids)
        objects += "<Object ProductId='" + guid + "' />";
    return "<?xml version='1.0' encoding='UTF-8'?><Bim API='" + key + "'><Objects>" + objects + "</Objects></Bim>";
}

inline std::string CloudRequest(const std::string& key, const std::string& guid, int cloudId)
{
    return "<?xml version='1.0' encoding='UTF-8'?><Bim API='" + key + "' Application='ArchiCAD'><Object ProductId='" +
           guid + "' /><Kdpc CloudId='" + std::to_string(cloudId) + "' /></Bim>";
}

// A fresh service process for each test.
class ServiceProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.Running()) << "kordela-service did not start"; }

    HttpReply PostValue(const std::string& path, const std::string& value, HttpRequest request = {})
    {
        request.method = "POST";
        request.formValue = value;
        return Fetch(service.Url(path), request);
    }

    HttpReply Get(const std::string& pathAndQuery, HttpRequest request = {})
    {
        return Fetch(service.Url(pathAndQuery), request);
    }

    // The answer parsed; fails the test when it is not well-formed.
    static service::XmlElement Parse(const HttpReply& reply)
    {
        const auto parsed = service::ParseXml(reply.body);
        EXPECT_TRUE(parsed.root) << parsed.error << "\n" << reply.body;
        return parsed.root.value_or(service::XmlElement {});
    }

    LocalService service;
};

}  // namespace kordela::test
