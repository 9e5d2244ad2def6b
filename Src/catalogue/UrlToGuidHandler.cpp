#include "UrlToGuidHandler.hpp"

#include "APIKey.hpp"
#include "CH.hpp"
#include "ServiceRequest.hpp"
#include "XmlAnswer.hpp"

namespace {
constexpr const char* GuidRequestTemplate =
    "<?xml version='1.0' encoding='UTF-8'?><Bim API='%s'><Objects><Object ProductId='%s' /></Objects></Bim>";
}

UrlToGuidHandler& UrlToGuidHandler::getInstance()
{
    static UrlToGuidHandler theOnlyInstance;
    return theOnlyInstance;
}

GS::UniString UrlToGuidHandler::operator[](const GS::UniString& url)
{
    if (ContainsKey(url))
        return Get(url);
    const GS::UniString guid = TryToGet(url);
    if (!guid.IsEmpty())
        Add(url, guid);
    return guid;
}

void UrlToGuidHandler::Add(const GS::UniString& key, const GS::UniString& value)
{
    if (GS::UniString* stored = GetPtr(key)) {
        if (stored->IsEmpty())
            *stored = value;
        return;
    }
    GS::HashTable<GS::UniString, GS::UniString>::Add(key, value);
}

GS::UniString UrlToGuidHandler::TryToGet(const GS::UniString& url)
{
    const auto key = GetCheckedAPIKey();
    const std::string request = FormatRequest(GuidRequestTemplate, {key.get(), url.ToUTF8()});
    const PostResult post = PostServiceRequest(Endpoints::LegacyHttpScheme, "/GetProductGuids", request);
    if (!post.started)
        return {};
    SetStartupProgress(75);

    XmlAnswer reader(post.answerFile.c_str());
    return ReadProductGuid(reader);
}

GS::UniString ReadProductGuid(XmlAnswer& reader)
{
    GS::UniString result;
    bool inObject = false;
    bool inGuid = false;
    while (reader.read()) {
        switch (reader.getNodeType()) {
        case XmlAnswer::Node::Element:
            if (CHEqualCStrings(reader.getNodeName(), "Object"))
                inObject = true;
            else if (inObject && CHEqualCStrings(reader.getNodeName(), "ProductGuid"))
                inGuid = true;
            break;
        case XmlAnswer::Node::Text:
            if (inGuid)
                result = GS::UniString(reader.getNodeData());
            inGuid = false;
            break;
        case XmlAnswer::Node::ElementEnd:
            if (CHEqualCStrings(reader.getNodeName(), "Object"))
                inObject = false;
            else if (inObject && CHEqualCStrings(reader.getNodeName(), "ProductGuid"))
                inGuid = false;
            break;
        default: break;
        }
    }
    return result;
}
