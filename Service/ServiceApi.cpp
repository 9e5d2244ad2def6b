#include "ServiceApi.hpp"

#include "TextUtil.hpp"
#include "XmlDocument.hpp"
#include "XmlWriter.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <variant>

namespace kordela::service {

namespace {

struct BadRequest {
    std::string reason;
};

using ApiAnswer = std::variant<std::string, BadRequest>;

struct ApiCall {
    const Catalogue& catalogue;
    const ServiceRequest& request;
    const XmlElement& root;
};

using EndpointHandler = ApiAnswer (*)(const ApiCall&);

struct Endpoint {
    std::string_view path;
    bool needsKey;
    std::vector<std::string_view> rootAttributes;
    EndpointHandler handler;
};

std::string Attr(const XmlElement& element, std::string_view name)
{
    const std::string* value = element.Attribute(name);
    return value ? *value : std::string();
}

ApiAnswer ProductGuids(const ApiCall& call)
{
    const XmlElement* objects = call.root.Child("Objects");
    if (!objects)
        return BadRequest {"the request has no Objects element"};
    XmlWriter xml;
    xml.Open("Bim").Open("Objects");
    for (const XmlElement* object : objects->ChildrenNamed("Object")) {
        const std::string* productUrl = object->Attribute("ProductId");
        if (!productUrl)
            return BadRequest {"an Object element has no ProductId"};
        // An unknown product still gets its Object element, written with an end tag
        // so that a pull parser sees where it ends.
        xml.Open("Object", {{"ProductId", *productUrl}});
        if (const Product* product = call.catalogue.FindProductByUrl(*productUrl)) {
            xml.TextElement("ProductGuid", {}, product->guid);
        }
        xml.Close();
    }
    return xml.Finish();
}

ApiAnswer UnreadEmails(const ApiCall& call)
{
    const ApiKey* key = call.catalogue.FindKey(Attr(call.root, "API"));
    XmlWriter xml;
    xml.Open("Bim", {{"UnreadEmails", std::to_string(key->unreadEmails)}});
    return xml.Finish();
}

ApiAnswer FeaturedManufacturers(const ApiCall& call)
{
    XmlWriter xml;
    xml.Open("Bim");
    for (const Manufacturer& m : call.catalogue.Manufacturers()) {
        if (!m.featured)
            continue;
        xml.Empty("ManufacturersModel", {{"Id", std::to_string(m.id)},
                                         {"Name", m.name},
                                         {"Icon", call.request.origin + "/logos/" + std::to_string(m.id) + ".png"},
                                         {"Url", call.request.origin + m.page}});
    }
    return xml.Finish();
}

void WriteParameter(XmlWriter& xml, const std::string& name, const ProductParameter& p,
                    const std::optional<std::string>& value)
{
    const XmlAttributes attributes = {{"VariableName", name},
                                      {"BIMParameterName", p.bimName},
                                      {"VariableDescription", p.description},
                                      {"VariableType", p.type},
                                      {"VariableStyle", p.style},
                                      {"VariableModifier", p.modifier},
                                      {"Obsolete", p.obsolete ? "true" : "false"}};
    // The add-on URL-decodes every value text, so values travel percent-encoded.
    if (value && !value->empty()) {
        xml.TextElement("Parameter", attributes, PercentEncode(*value));
    } else {
        xml.Empty("Parameter", attributes);
    }
}

// About what a product's block takes in the answer, so that a large answer is written into
// one buffer.
std::size_t AnswerSize(const Product& product)
{
    std::size_t size = 512 + 2 * product.guid.size();
    for (const ProductParameter& p : product.parameters) {
        size += 200 + p.name.size() + p.bimName.size() + p.description.size() + p.type.size() + p.style.size() +
                p.modifier.size() + 3 * (p.value ? p.value->size() : 0);
    }
    return size;
}

ApiAnswer KordelaInfo(const ApiCall& call)
{
    const XmlElement* objects = call.root.Child("Objects");
    if (!objects)
        return BadRequest {"the request has no Objects element"};
    std::vector<const Product*> products;
    std::size_t size = 0;
    for (const XmlElement* object : objects->ChildrenNamed("Object")) {
        const std::string* guid = object->Attribute("ProductId");
        if (!guid)
            return BadRequest {"an Object element has no ProductId"};
        if (const Product* product = call.catalogue.FindProductByGuid(*guid)) {
            products.push_back(product);
            size += AnswerSize(*product);
        }
    }
    XmlWriter xml;
    xml.Reserve(size);
    xml.Open("Bim").Open("Objects");
    for (const Product* product : products) {
        xml.Open("Object", {{"ProductId", product->guid}}).Open("Parameters");
        // Every block names its product and edition first: the add-on keys the block by them.
        ProductParameter guidParameter {"KD_productguid", "ProductGuid", "Product GUID", "String", "", "", {}, false};
        ProductParameter editionParameter {"KD_edinum", "EditionNumber", "Edition", "Integer", "", "", {}, false};
        WriteParameter(xml, guidParameter.name, guidParameter, product->guid);
        WriteParameter(xml, editionParameter.name, editionParameter, std::to_string(product->edition));
        for (const ProductParameter& p : product->parameters)
            WriteParameter(xml, p.name, p, p.value);
        xml.Close().Close();
    }
    return xml.Finish();
}

ApiAnswer CloudInfo(const ApiCall& call)
{
    const XmlElement* object = call.root.Child("Object");
    const XmlElement* kdpc = call.root.Child("Kdpc");
    if (!object || !object->Attribute("ProductId"))
        return BadRequest {"the request has no Object with a ProductId"};
    if (!kdpc || !kdpc->Attribute("CloudId"))
        return BadRequest {"the request has no Kdpc with a CloudId"};
    const auto cloudId = ParseInteger(*kdpc->Attribute("CloudId"));
    if (!cloudId)
        return BadRequest {"CloudId is not a number"};

    XmlWriter xml;
    xml.Open("Bim");
    const Product* product = call.catalogue.FindProductByGuid(*object->Attribute("ProductId"));
    const PropertyCloud* cloud = call.catalogue.FindCloud(static_cast<int>(*cloudId));
    const bool offered = product && cloud &&
                         std::find(product->clouds.begin(), product->clouds.end(), cloud->id) != product->clouds.end();
    if (offered) {
        xml.Empty("KDPC", {{"Id", std::to_string(cloud->id)},
                           {"Name", cloud->name},
                           {"LastModified", cloud->lastModified},
                           {"VariableName", cloud->variableName},
                           {"EditionNumber", std::to_string(cloud->edition)}});
        for (const CloudProperty& p : cloud->properties) {
            XmlAttributes attributes = {{"Name", p.name}, {"VariableName", p.variableName}};
            if (p.value)
                attributes.emplace_back("Value", *p.value);
            attributes.emplace_back("Visible", p.visible ? "true" : "false");
            attributes.emplace_back("Editable", p.editable ? "true" : "false");
            xml.Empty("KDPCProperty", attributes);
        }
    }
    return xml.Finish();
}

const std::array<Endpoint, 5>& Endpoints()
{
    static const std::array<Endpoint, 5> endpoints = {{
        {"/GetProductGuids", true, {"API"}, &ProductGuids},
        {"/GetUnreadEmailsCount2", true, {"API"}, &UnreadEmails},
        {"/GetFeaturedManufacturers2", false, {"Application"}, &FeaturedManufacturers},
        {"/GetKordelaInfoXml3", true, {"API"}, &KordelaInfo},
        {"/GetKdpcInfoXml2", true, {"API", "Application"}, &CloudInfo},
    }};
    return endpoints;
}

ServiceReply BadRequestReply(const std::string& reason)
{
    return TextReply(400, "text/plain; charset=utf-8", "Bad request: " + reason + "\n");
}

// An answer that a client parses without finding any data.
std::string NoDataAnswer(const std::string& reason)
{
    XmlWriter xml;
    xml.Open("Bim", {{"Error", reason}});
    return xml.Finish();
}

}  // namespace

bool IsWellFormedKey(std::string_view key)
{
    if (key.size() != 36)
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? key[i] != '-' : !std::isxdigit(static_cast<unsigned char>(key[i])))
            return false;
    }
    return true;
}

std::optional<ServiceReply> HandleServiceApi(const Catalogue& catalogue, const ServiceRequest& request)
{
    const Endpoint* endpoint = nullptr;
    for (const Endpoint& e : Endpoints()) {
        if (request.path == e.path)
            endpoint = &e;
    }
    if (!endpoint)
        return std::nullopt;

    if (request.method != "POST") {
        ServiceReply reply = TextReply(405, "text/plain; charset=utf-8", "Only POST is served here.\n");
        reply.headers.emplace_back("Allow", "POST");
        return reply;
    }
    if (!request.formValue)
        return BadRequestReply("the multipart form field \"value\" is missing");
    const XmlParseResult parsed = ParseXml(*request.formValue);
    if (!parsed.root)
        return BadRequestReply("the request is not well-formed XML: " + parsed.error);
    const XmlElement& root = *parsed.root;
    if (root.name != "Bim")
        return BadRequestReply("the root element is <" + root.name + ">, not <Bim>");
    for (std::string_view attribute : endpoint->rootAttributes) {
        if (!root.Attribute(attribute)) {
            return BadRequestReply("the Bim element has no " + std::string(attribute) + " attribute");
        }
    }
    if (endpoint->needsKey) {
        const std::string key = Attr(root, "API");
        if (!IsWellFormedKey(key))
            return XmlReply(NoDataAnswer("malformed API key"));
        if (!catalogue.FindKey(key))
            return XmlReply(NoDataAnswer("unknown API key"));
    }
    ApiAnswer answer = endpoint->handler(ApiCall {catalogue, request, root});
    if (auto* bad = std::get_if<BadRequest>(&answer))
        return BadRequestReply(bad->reason);
    return XmlReply(std::move(std::get<std::string>(answer)));
}

}  // namespace kordela::service
