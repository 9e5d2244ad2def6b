#include "ServiceTestSupport.hpp"
#include "TextUtil.hpp"

namespace kordela::test {
namespace {

using service::XmlElement;

class ServiceApi : public ServiceProcessTest {};

std::string Attr(const XmlElement* element, const std::string& name)
{
    const std::string* value = element ? element->Attribute(name) : nullptr;
    return value ? *value : "<absent>";
}

TEST_F(ServiceApi, ProductGuidLookupAnswersKnownUrlsInsideObject)
{
    struct Case {
        std::string url;
        std::string guid;  // empty: no ProductGuid element
    };
    const Case cases[] = {
        {ChairUrl, ChairGuid},
        {"https://Kordela.Example/Product/1234/", ChairGuid},  // scheme, case and trailing slash do not matter
        {"kordela.example/Product/2001", DoorGuid},
        {"kordela.example/Product/9999", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const HttpReply reply = PostValue("/GetProductGuids", ProductGuidsRequest(KeyWithThreeMails, c.url));
        ASSERT_EQ(reply.status, 200);
        const XmlElement root = Parse(reply);
        const XmlElement* object = root.Child("Objects") ? root.Child("Objects")->Child("Object") : nullptr;
        ASSERT_NE(object, nullptr) << reply.body;
        EXPECT_EQ(Attr(object, "ProductId"), c.url);
        const XmlElement* guid = object->Child("ProductGuid");
        EXPECT_EQ(guid ? guid->text : "", c.guid);
        // An Object without a GUID is still closed by an end tag, never self-closing.
        EXPECT_EQ(reply.body.find("<Object ProductId=\"" + c.url + "\"/>"), std::string::npos);
    }
}

TEST_F(ServiceApi, UnreadMailCountFollowsTheKey)
{
    const std::pair<std::string, std::string> cases[] = {
        {KeyWithThreeMails, "3"},
        {KeyWithManyMails, "25"},
        {"9b1deb4d-3b7d-4bad-9bdd-2b0d7b3dcb6d", "25"},  // keys are not case-sensitive
        {"00000000-0000-0000-0000-000000000000", "0"},
        {UnknownKey, "<absent>"},
        {"xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", "<absent>"},
    };
    for (const auto& [key, count] : cases) {
        SCOPED_TRACE(key);
        const HttpReply reply = PostValue("/GetUnreadEmailsCount2", UnreadMailRequest(key));
        ASSERT_EQ(reply.status, 200);
        const XmlElement root = Parse(reply);
        EXPECT_EQ(root.name, "Bim");
        EXPECT_EQ(Attr(&root, "UnreadEmails"), count);
    }
}

TEST_F(ServiceApi, FeaturedManufacturersCarryNameLogoAndPage)
{
    const HttpReply reply = PostValue("/GetFeaturedManufacturers2", FeaturedRequest);
    ASSERT_EQ(reply.status, 200);
    const XmlElement root = Parse(reply);
    const auto models = root.ChildrenNamed("ManufacturersModel");
    ASSERT_EQ(models.size(), 6u);
    EXPECT_EQ(Attr(models[0], "Name"), "Nordwood Furniture");
    EXPECT_EQ(Attr(models[1], "Name"), "Lumen & Co.");
    EXPECT_EQ(Attr(models[5], "Name"), "Brick <Stone> Ltd");
    for (const XmlElement* model : models) {
        SCOPED_TRACE(Attr(model, "Name"));
        const HttpReply logo = Fetch(Attr(model, "Icon"));
        EXPECT_EQ(logo.status, 200);
        EXPECT_EQ(logo.Header("content-type"), "image/png");
        EXPECT_EQ(logo.body.substr(0, 4), "\x89PNG");
        EXPECT_EQ(Fetch(Attr(model, "Url")).status, 200);
    }
}

TEST_F(ServiceApi, UpdateQueryAnswersEachKnownProductInRequestOrder)
{
    const std::string unknown = "00000000-1111-2222-3333-444444444444";
    const HttpReply reply =
        PostValue("/GetKordelaInfoXml3", UpdateRequest(KeyWithThreeMails, {WindowGuid, unknown, ChairGuid}));
    ASSERT_EQ(reply.status, 200);
    const XmlElement root = Parse(reply);
    ASSERT_NE(root.Child("Objects"), nullptr);
    const auto objects = root.Child("Objects")->ChildrenNamed("Object");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(Attr(objects[0], "ProductId"), WindowGuid);
    EXPECT_EQ(Attr(objects[1], "ProductId"), ChairGuid);

    const auto chair = objects[1]->Child("Parameters")->ChildrenNamed("Parameter");
    ASSERT_GE(chair.size(), 2u);
    // The block's key comes first: product GUID, then edition.
    EXPECT_EQ(Attr(chair[0], "VariableName"), "KD_productguid");
    EXPECT_EQ(chair[0]->text, ChairGuid);
    EXPECT_EQ(Attr(chair[1], "VariableName"), "KD_edinum");
    EXPECT_EQ(chair[1]->text, "4");
    for (const XmlElement* p : chair) {
        for (const char* attribute : {"VariableName", "BIMParameterName", "VariableDescription", "VariableType",
                                      "VariableStyle", "VariableModifier", "Obsolete"}) {
            EXPECT_NE(p->Attribute(attribute), nullptr) << attribute;
        }
    }

    struct Expected {
        std::string name, type, style, modifier, decodedValue;
    };
    const Expected expected[] = {
        {"KD_Manufacturer", "String", "Bold", "", "Nordwood Furniture"},
        {"KD_Width", "Real", "", "", "0.45"},
        {"KD_Finish", "String", "", "Child", "Eiche natur geölt"},
        {"KD_Recycled", "String", "", "", "100% recycled & <certified>"},
        {"KD_Legs", "Integer", "", "", "4"},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const auto it = std::find_if(chair.begin(), chair.end(),
                                     [&](const XmlElement* p) { return Attr(p, "VariableName") == e.name; });
        ASSERT_NE(it, chair.end());
        EXPECT_EQ(Attr(*it, "VariableType"), e.type);
        EXPECT_EQ(Attr(*it, "VariableStyle"), e.style);
        EXPECT_EQ(Attr(*it, "VariableModifier"), e.modifier);
        // Values travel URL-encoded: the add-on decodes every value text.
        EXPECT_EQ(service::PercentDecode((*it)->text), e.decodedValue);
        EXPECT_EQ((*it)->text.find(' '), std::string::npos);
    }
    // A parameter without a value is written as an empty element.
    EXPECT_NE(reply.body.find("VariableName=\"KD_Note\""), std::string::npos);
    EXPECT_NE(reply.body.find("Obsolete=\"false\"/>"), std::string::npos);
}

TEST_F(ServiceApi, UpdateQueryMarksObsoleteParameters)
{
    const XmlElement root = Parse(PostValue("/GetKordelaInfoXml3", UpdateRequest(KeyWithThreeMails, {DoorGuid})));
    const XmlElement* parameters = root.Child("Objects")->Child("Object")->Child("Parameters");
    ASSERT_NE(parameters, nullptr);
    for (const XmlElement* p : parameters->ChildrenNamed("Parameter")) {
        EXPECT_EQ(Attr(p, "Obsolete"), Attr(p, "VariableName") == "KD_OldCode" ? "true" : "false");
    }
}

TEST_F(ServiceApi, LargeRequestsAreReadWhole)
{
    // Large enough for libcurl to ask for "100 Continue" before sending the form.
    std::vector<std::string> guids(200, "00000000-1111-2222-3333-444444444444");
    guids.push_back(ChairGuid);
    const std::string request = UpdateRequest(KeyWithThreeMails, guids);
    ASSERT_GT(request.size(), 8000u);
    const HttpReply reply = PostValue("/GetKordelaInfoXml3", request);
    ASSERT_EQ(reply.status, 200);
    const XmlElement root = Parse(reply);
    ASSERT_EQ(root.Child("Objects")->ChildrenNamed("Object").size(), 1u);
    EXPECT_EQ(service.Log()[0]["value"], request);
}

TEST_F(ServiceApi, CloudQueryAnswersOfferedCloudsOnly)
{
    struct Case {
        std::string guid;
        int cloud;
        std::size_t properties;  // 0: no KDPC element at all
    };
    const Case cases[] = {
        {ChairGuid, 12, 3}, {ChairGuid, 15, 2},
        {ChairGuid, 21, 0},  // a cloud the product does not offer
        {DoorGuid, 21, 2},  {"00000000-1111-2222-3333-444444444444", 12, 0},
        {ChairGuid, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.guid + " " + std::to_string(c.cloud));
        const HttpReply reply = PostValue("/GetKdpcInfoXml2", CloudRequest(KeyWithThreeMails, c.guid, c.cloud));
        ASSERT_EQ(reply.status, 200);
        const XmlElement root = Parse(reply);
        EXPECT_EQ(root.ChildrenNamed("KDPC").size(), c.properties ? 1u : 0u);
        EXPECT_EQ(root.ChildrenNamed("KDPCProperty").size(), c.properties);
    }

    const XmlElement root = Parse(PostValue("/GetKdpcInfoXml2", CloudRequest(KeyWithThreeMails, ChairGuid, 15)));
    const XmlElement* cloud = root.Child("KDPC");
    EXPECT_EQ(Attr(cloud, "Name"), "Acoustics");
    EXPECT_EQ(Attr(cloud, "VariableName"), "KDPC_C0015_Title");
    EXPECT_EQ(Attr(cloud, "EditionNumber"), "1");
    EXPECT_EQ(Attr(cloud, "LastModified"), "2017-03-01T08:00:00");
    const auto properties = root.ChildrenNamed("KDPCProperty");
    EXPECT_EQ(Attr(properties[0], "Value"), "0.85");
    EXPECT_EQ(Attr(properties[0], "Editable"), "false");
    EXPECT_EQ(Attr(properties[1], "Value"), "<absent>");  // a property without a value has no attribute
    EXPECT_EQ(Attr(properties[1], "Editable"), "true");
}

TEST_F(ServiceApi, UnknownOrMalformedKeyGetsAnAnswerWithoutData)
{
    const std::string keys[] = {UnknownKey, "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", "", "3f2504e0"};
    for (const std::string& key : keys) {
        const std::pair<std::string, std::string> requests[] = {
            {"/GetProductGuids", ProductGuidsRequest(key, ChairUrl)},
            {"/GetUnreadEmailsCount2", UnreadMailRequest(key)},
            {"/GetKordelaInfoXml3", UpdateRequest(key, {ChairGuid})},
            {"/GetKdpcInfoXml2", CloudRequest(key, ChairGuid, 12)},
        };
        for (const auto& [path, value] : requests) {
            SCOPED_TRACE(path + " with key '" + key + "'");
            const HttpReply reply = PostValue(path, value);
            ASSERT_EQ(reply.status, 200);
            const XmlElement root = Parse(reply);
            EXPECT_EQ(root.name, "Bim");
            EXPECT_NE(root.Attribute("Error"), nullptr);
            EXPECT_TRUE(root.children.empty()) << reply.body;
            EXPECT_EQ(root.Attribute("UnreadEmails"), nullptr);
        }
    }
}

TEST_F(ServiceApi, BadRequestsAreRefused)
{
    struct Case {
        std::string what;
        std::string path;
        std::optional<std::string> value;  // empty: a plain form without the field
        long status;
    };
    const Case cases[] = {
        {"no field", "/GetUnreadEmailsCount2", std::nullopt, 400},
        {"not XML", "/GetUnreadEmailsCount2", "API=" + KeyWithThreeMails, 400},
        {"unclosed", "/GetUnreadEmailsCount2", "<Bim API='" + KeyWithThreeMails + "'>", 400},
        {"bad entity", "/GetUnreadEmailsCount2", "<Bim API='&bogus;'></Bim>", 400},
        {"other root", "/GetUnreadEmailsCount2", "<Request API='" + KeyWithThreeMails + "'/>", 400},
        {"no key attribute", "/GetUnreadEmailsCount2", "<Bim Key='" + KeyWithThreeMails + "'/>", 400},
        {"no Objects", "/GetProductGuids", UnreadMailRequest(KeyWithThreeMails), 400},
        {"Object without id", "/GetKordelaInfoXml3",
         "<Bim API='" + KeyWithThreeMails + "'><Objects><Object /></Objects></Bim>", 400},
        {"no Application", "/GetFeaturedManufacturers2", "<Bim></Bim>", 400},
        {"no Kdpc", "/GetKdpcInfoXml2",
         "<Bim API='" + KeyWithThreeMails + "' Application='ArchiCAD'><Object ProductId='" + ChairGuid + "' /></Bim>",
         400},
        {"cloud id not a number", "/GetKdpcInfoXml2",
         "<Bim API='" + KeyWithThreeMails + "' Application='ArchiCAD'><Object ProductId='" + ChairGuid +
             "' /><Kdpc CloudId='twelve' /></Bim>",
         400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HttpReply reply;
        if (c.value) {
            reply = PostValue(c.path, *c.value);
        } else {
            reply = Fetch(service.Url(c.path),
                          {.method = "POST", .body = "other=1", .contentType = "application/x-www-form-urlencoded"});
        }
        EXPECT_EQ(reply.status, c.status) << reply.body;
    }
    EXPECT_EQ(Get("/GetUnreadEmailsCount2").status, 405);
}

TEST_F(ServiceApi, LogRecordsWhatWentOverTheWire)
{
    const std::string request = UnreadMailRequest(KeyWithThreeMails);
    ASSERT_EQ(PostValue("/GetUnreadEmailsCount2", request).status, 200);
    ASSERT_EQ(Get("/Product?x=1%202").status, 200);

    const nlohmann::json log = service.Log();
    ASSERT_EQ(log.size(), 2u) << log.dump(1);
    EXPECT_EQ(log[0]["method"], "POST");
    EXPECT_EQ(log[0]["path"], "/GetUnreadEmailsCount2");
    EXPECT_EQ(log[0]["value"], request);
    EXPECT_EQ(log[0]["status"], 200);
    EXPECT_TRUE(log[0]["fault"].is_null());
    EXPECT_NE(log[0]["headers"]["Content-Type"].get<std::string>().find("multipart/form-data"), std::string::npos);
    EXPECT_FALSE(log[0]["headers"].contains("REMOTE_ADDR"));  // only headers that were sent
    EXPECT_EQ(log[1]["method"], "GET");
    EXPECT_EQ(log[1]["query"], "x=1%202");
    EXPECT_FALSE(log[1].contains("value"));
    EXPECT_LT(log[0]["seq"].get<int>(), log[1]["seq"].get<int>());

    ASSERT_TRUE(service.Reset());
    EXPECT_TRUE(service.Log().empty());
}

TEST_F(ServiceApi, CatalogueCanBeReplacedUntilReset)
{
    nlohmann::json catalogue = service.Catalogue();
    ASSERT_TRUE(catalogue.is_object());
    catalogue["apiKeys"][0]["unreadEmails"] = 7;
    ASSERT_TRUE(service.SetCatalogue(catalogue));
    const auto count = [&] {
        const XmlElement root = Parse(PostValue("/GetUnreadEmailsCount2", UnreadMailRequest(KeyWithThreeMails)));
        return Attr(&root, "UnreadEmails");
    };
    EXPECT_EQ(count(), "7");
    ASSERT_TRUE(service.Reset());
    EXPECT_EQ(count(), "3");
    EXPECT_FALSE(service.SetCatalogue(nlohmann::json::array()));
}

TEST_F(ServiceApi, PublishedCloudEditionIsAnsweredUntilReset)
{
    const auto cloud = [&] {
        return Parse(PostValue("/GetKdpcInfoXml2", CloudRequest(KeyWithThreeMails, ChairGuid, 15)));
    };
    ASSERT_TRUE(service.PublishCloud(15, 7));
    XmlElement root = cloud();
    EXPECT_EQ(Attr(root.Child("KDPC"), "EditionNumber"), "7");
    EXPECT_EQ(root.ChildrenNamed("KDPCProperty").size(), 2u) << "the properties stay";

    ASSERT_TRUE(service.PublishCloud(15, 8, {{{"name", "Rw"}, {"variableName", "KDPC_C0015_Rw"}, {"value", "42 dB"}}}));
    root = cloud();
    EXPECT_EQ(Attr(root.Child("KDPC"), "EditionNumber"), "8");
    ASSERT_EQ(root.ChildrenNamed("KDPCProperty").size(), 1u);
    EXPECT_EQ(Attr(root.ChildrenNamed("KDPCProperty")[0], "Value"), "42 dB");

    EXPECT_FALSE(service.PublishCloud(99, 1)) << "no such cloud";
    ASSERT_TRUE(service.Reset());
    EXPECT_EQ(Attr(cloud().Child("KDPC"), "EditionNumber"), "1");
}

}  // namespace
}  // namespace kordela::test
