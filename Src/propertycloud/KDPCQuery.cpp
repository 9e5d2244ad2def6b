#include "KDPCManager.hpp"
#include "LibPart.hpp"
#include "ParamList.hpp"

#include "APIKey.hpp"
#include "Folders.hpp"
#include "HostServices.hpp"
#include "Messages.hpp"
#include "ServiceRequest.hpp"
#include "UrlToGuidHandler.hpp"
#include "XmlAnswer.hpp"

#include "CH.hpp"

#include <cstring>
#include <memory>

namespace {

constexpr const char* CloudRequestTemplate =
    "<?xml version='1.0' encoding='UTF-8'?><Bim API='%s' Application='ArchiCAD'><Object ProductId='%s' /><Kdpc "
    "CloudId='%s' /></Bim>";

std::string Attribute(const XmlAnswer& reader, const char* name)
{
    const char* value = reader.getAttributeValue(name);
    return value != nullptr ? value : "";
}

}  // namespace

// A cut answer would attach a cloud with only some of its properties, which could then never
// be attached again.
bool ReadKDPCAnswer(XmlAnswer& reader, KDPCManager::KDPCInfo* info, int* editionNumber)
{
    int depth = 0;
    bool rootSeen = false;
    bool rootClosed = false;
    while (reader.read()) {
        if (reader.getNodeType() == XmlAnswer::Node::ElementEnd) {
            rootClosed = rootClosed || (--depth == 0 && rootSeen);
            continue;
        }
        if (reader.getNodeType() != XmlAnswer::Node::Element)
            continue;
        if (!reader.isEmptyElement())
            ++depth;
        rootClosed = rootClosed || (!rootSeen && reader.isEmptyElement());
        rootSeen = true;
        const char* element = reader.getNodeName();
        if (CHEqualCStrings(element, "KDPC")) {
            info->name = Attribute(reader, "Name");
            info->lastModified = Attribute(reader, "LastModified");
            const char* edition = reader.getAttributeValue("EditionNumber");
            if (editionNumber != nullptr)
                *editionNumber = edition != nullptr ? ReadWholeNumber(edition) : -1;
            KDPCManager::KDPCParamType title;
            title.variableName = Attribute(reader, "VariableName");
            title.name = info->name;
            title.visible = true;
            title.isTitle = true;
            info->params.Push(std::move(title));
        } else if (CHEqualCStrings(element, "KDPCProperty")) {
            KDPCManager::KDPCParamType property;
            property.variableName = Attribute(reader, "VariableName");
            property.value = Attribute(reader, "Value");
            property.name = Attribute(reader, "Name");
            property.visible = Attribute(reader, "Visible") == "true";
            property.editable = Attribute(reader, "Editable") == "true";
            info->params.Push(std::move(property));
        }
    }
    return rootClosed;
}

namespace {

// The product the part stands for; "KD_productguid" wins over the product URL. An empty
// "KD_productguid" counts as none, as on the page launcher that opened the cloud page.
std::string ProductGuidOf(AC::LibPart& part)
{
    const API_AddParType* guid = part.GetParam("KD_productguid");
    const API_AddParType* url = part.GetParam("KD_prodatUrl");
    const std::string own = guid != nullptr ? ParameterTextOf(*guid) : std::string();
    if (own.empty() && url != nullptr)
        return UrlToGuidHandler::getInstance()[GS::UniString(ParameterTextOf(*url))].ToUTF8();
    return own;
}

}  // namespace

int KDPCManager::RetrieveObjectRelatedInformation(int libPartIndex, int cloudId, KDPCInfo* info)
{
    const auto key = GetCheckedAPIKey();
    std::unique_ptr<AC::LibPart> part(AC::LibPartManager::GetInstance().GetLibpart(libPartIndex));
    if (part == nullptr) {
        ReportAlert("The library part could not be found!");
        return KDPCResult::PartNotFound;
    }
    const std::string guid = ProductGuidOf(*part);
    if (guid.empty()) {
        ReportAlert("The selected object is not a KDPC valid object.");
        return KDPCResult::NotCloudReady;
    }
    switch (AskForCloud(key.get(), guid, cloudId, info, nullptr)) {
    case CloudQuery::PathTooLong: return KDPCResult::ModificationFailed;
    case CloudQuery::NotSent:
    case CloudQuery::Sent: return KDPCResult::Done;
    }
    return KDPCResult::Done;
}

KDPCManager::CloudQuery KDPCManager::AskForCloud(const char* apiKey, const std::string& productGuid, int cloudId,
                                                 KDPCInfo* info, int* editionNumber)
{
    // Without a usable answer file the request would only leave a stray file behind.
    char folder[TempPathSize] = {};
    if (GetTempPath(TempPathSize, folder) >= TempPathSize + 1) {
        ReportAlert(LocString(Messages::List, Messages::TempPathTooLong).c_str());
        return CloudQuery::PathTooLong;
    }
    const std::string request =
        FormatRequest(CloudRequestTemplate, {apiKey != nullptr ? apiKey : "", productGuid, std::to_string(cloudId)});
    const PostResult post = PostServiceRequest(Endpoints::Scheme::Https, "/GetKdpcInfoXml2", request);
    if (!post.started)
        return CloudQuery::NotSent;
    int edition = -1;
    XmlAnswer reader(post.answerFile.c_str());
    if (reader.IsOpen() && !ReadKDPCAnswer(reader, info, &edition)) {
        *info = KDPCInfo {};
        edition = -1;
    }
    if (editionNumber != nullptr)
        *editionNumber = edition;
    return CloudQuery::Sent;
}
