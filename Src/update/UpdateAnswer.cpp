#include "UpdateAnswer.hpp"

#include "CH.hpp"
#include "HostServices.hpp"
#include "Messages.hpp"
#include "ServiceRequest.hpp"
#include "XmlAnswer.hpp"

#include <curl/curl.h>

#include <cstring>
#include <unordered_set>

namespace {

constexpr size_t FieldLimit = 1023;
constexpr size_t ProductGuidLimit = 49;

std::string Cut(const char* text, size_t limit)
{
    std::string value = text != nullptr ? text : "";
    if (value.size() > limit)
        value.resize(limit);
    return value;
}

std::string UrlDecoded(const char* text)
{
    int length = 0;
    char* decoded = curl_easy_unescape(nullptr, text, 0, &length);
    if (decoded == nullptr)
        return text;
    std::string result(decoded, static_cast<size_t>(length));
    curl_free(decoded);
    return result;
}

// The entry's texts from the element's attributes, each taken in one pass over them (an
// answer names every attribute once); an attribute the element lacks leaves its text empty.
void ReadEntryAttributes(const XmlAnswer& reader, UpdateDataEntry& entry)
{
    struct Field {
        const char* attribute;
        std::string UpdateDataEntry::*text;
    };
    static constexpr Field fields[] = {{"VariableName", &UpdateDataEntry::variableName},
                                       {"BIMParameterName", &UpdateDataEntry::bimParameterName},
                                       {"VariableDescription", &UpdateDataEntry::variableDescription},
                                       {"VariableType", &UpdateDataEntry::variableType},
                                       {"VariableStyle", &UpdateDataEntry::variableStyle},
                                       {"VariableModifier", &UpdateDataEntry::variableModifier}};
    const int count = reader.getAttributeCount();
    for (int i = 0; i < count; ++i) {
        const char* attribute = reader.getAttributeName(i);
        if (attribute == nullptr)
            continue;
        if (std::strcmp(attribute, "Obsolete") == 0) {
            entry.obsolete = CHEqualCStrings(Cut(reader.getAttributeValueAt(i), FieldLimit).c_str(), "true");
            continue;
        }
        for (const Field& field : fields)
            if (std::strcmp(attribute, field.attribute) == 0) {
                entry.*field.text = Cut(reader.getAttributeValueAt(i), FieldLimit);
                break;
            }
    }
}

}  // namespace

std::string BuildUpdateRequest(const std::string& apiKey, const GS::Array<GS::UniString>& products)
{
    std::string objects;
    for (const GS::UniString& product : products)
        objects += "<Object ProductId='" + EscapeXmlAttribute(product.ToUTF8()) + "' />";
    return "<?xml version='1.0' encoding='UTF-8'?><Bim API='" + EscapeXmlAttribute(apiKey) + "'><Objects>" + objects +
           "</Objects></Bim>";
}

void ReadUpdateAnswer(const char* path, const GS::Array<GS::UniString>& requested, UpdateDataTable* table,
                      const std::function<void(const std::string&)>& report)
{
    XmlAnswer reader(path);
    ReadUpdateAnswer(reader, requested, table, report);
}

void ReadUpdateAnswer(XmlAnswer& reader, const GS::Array<GS::UniString>& requested, UpdateDataTable* table,
                      const std::function<void(const std::string&)>& report)
{
    bool inObject = false;
    bool inParameters = false;
    std::shared_ptr<UpdateData> current;
    std::shared_ptr<UpdateDataEntry> entry;
    bool guidFlag = false;
    bool editionFlag = false;
    bool valueFlag = false;
    std::string productGuid;
    std::string edition;
    const std::unordered_set<GS::UniString, GS::UniStringHash> asked(requested.begin(), requested.end());
    while (reader.read()) {
        const XmlAnswer::Node node = reader.getNodeType();
        const char* name = node == XmlAnswer::Node::Text ? "" : reader.getNodeName();
        if (node == XmlAnswer::Node::Element) {
            if (CHEqualCStrings(name, "Object")) {
                inObject = true;
            } else if (inObject && CHEqualCStrings(name, "Parameters")) {
                current = std::make_shared<UpdateData>();
                inParameters = true;
                // Each block names its own product; none borrows the last block's.
                productGuid.clear();
                edition.clear();
            } else if (inParameters && current && CHEqualCStrings(name, "Parameter")) {
                entry = std::make_shared<UpdateDataEntry>();
                ReadEntryAttributes(reader, *entry);
                guidFlag = CHEqualCStrings(entry->variableName.c_str(), "KD_productguid");
                editionFlag = CHEqualCStrings(entry->variableName.c_str(), "KD_edinum");
                if (reader.isEmptyElement()) {
                    current->entries.Push(entry);
                    entry.reset();
                } else {
                    valueFlag = true;
                }
            }
        } else if (node == XmlAnswer::Node::Text) {
            const std::string text = UrlDecoded(reader.getNodeData());
            if (guidFlag)
                productGuid = Cut(text.c_str(), ProductGuidLimit);
            if (editionFlag)
                edition = Cut(text.c_str(), FieldLimit);
            if (valueFlag && entry)
                entry->value = Cut(text.c_str(), FieldLimit);
            guidFlag = editionFlag = valueFlag = false;
        } else if (node == XmlAnswer::Node::ElementEnd) {
            if (CHEqualCStrings(name, "Parameter") && entry && current) {
                current->entries.Push(entry);
                entry.reset();
                guidFlag = editionFlag = valueFlag = false;
            } else if (CHEqualCStrings(name, "Object")) {
                inObject = false;
            } else if (inObject && CHEqualCStrings(name, "Parameters")) {
                inParameters = false;
                if (!productGuid.empty() && !edition.empty() && current) {
                    const GS::UniString guid(productGuid);
                    if (asked.count(guid) == 0)
                        report(LocString(Messages::List, Messages::UnaskedProduct) + " " + productGuid);
                    else if (!table->Add(guid, current))
                        report("The following item was already downloaded: " + productGuid);
                }
                current.reset();
            }
        }
    }
}
