// The palette's two service requests: the unread-mail count for the mail button and the
// featured manufacturers for the manufacturer buttons.
#include "MainObserver.hpp"
#include "MainPalette.hpp"
#include "PaletteAnswers.hpp"

#include "APIKey.hpp"
#include "BrowserDialog.hpp"
#include "CH.hpp"
#include "Cocoa.hpp"
#include "DownloadIcon.hpp"
#include "Endpoints.hpp"
#include "Folders.hpp"
#include "FooWrapper.hpp"
#include "IO.hpp"
#include "ServiceRequest.hpp"
#include "XmlAnswer.hpp"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* MailRequestTemplate = "<?xml version='1.0' encoding='UTF-8'?><Bim API='%s'></Bim>";
constexpr const char* ManufacturersRequest = "<?xml version='1.0' encoding='UTF-8'?><Bim Application='ArchiCAD'></Bim>";
constexpr const char* PrivateCloudsRequestTemplate =
    "<?xml version='1.0' encoding='UTF-8'?><Bim API='%s' Application='ArchiCAD'></Bim>";

const char* Attribute(const XmlAnswer& reader, const char* name)
{
    const char* value = reader.getAttributeValue(name);
    return value != nullptr ? value : "";
}

// A page wrapped into the auto-logon address; empty when that could not be made, which
// leaves the button without a target.
std::string ButtonTarget(const std::string& page)
{
    const auto address = UrlGenerator(page.c_str());
    return address ? std::string(address.get()) : std::string();
}

// An answer, logo or icon file goes whatever happened: also when a button could not be
// filled or the palette went away meanwhile.
class AnswerFileGuard {
public:
    explicit AnswerFileGuard(std::string path) : path_(std::move(path)) {}
    ~AnswerFileGuard()
    {
        if (!path_.empty())
            DeleteAnswerFile(path_);
    }
    AnswerFileGuard(const AnswerFileGuard&) = delete;
    AnswerFileGuard& operator=(const AnswerFileGuard&) = delete;

private:
    std::string path_;
};

// One button per element of `elementName`, at most ten, in document order: its logo as the
// icon, its name as the tooltip and its page as the target. Answers how many were filled;
// none when the palette went away while a button's target or logo was being made.
std::optional<int> FillManufacturerButtons(const PaletteWatch& watch, const std::string& answerFile,
                                           const char* elementName, bool invalidate)
{
    MainPalette& palette = *watch.Palette();
    XmlAnswer reader(answerFile.c_str());
    const std::vector<FeaturedEntry> entries = ReadFeaturedEntries(reader, elementName, ManufacturerButtonCount);
    for (auto& button : palette.customButtons)
        button->Hide();
    palette.urls.Clear();

    int i = 0;
    bool logoHostSilent = false;
    for (const FeaturedEntry& entry : entries) {
        const std::string& name = entry.name;
        const std::string& icon = entry.icon;
        const std::string& url = entry.url;
        CustomIconButton& button = *palette.customButtons[static_cast<size_t>(i)];
        const short item = static_cast<short>(FirstManufacturerItem + i);

        palette.separator13.Show();
        button.Show();
        // Without a valid key the settings dialog asks for one first.
        std::string target = ButtonTarget(url);
        if (watch.Gone())
            return std::nullopt;
        palette.urls.Push(std::move(target));

        char logoName[32] = {};
        std::snprintf(logoName, sizeof logoName, "%d.png", i);
        // Once the logos' host could not serve one, the other logos are not waited for either:
        // their buttons go without a logo, as after a failed logo download.
        std::string logoPath;
        if (!logoHostSilent)
            logoPath = DownloadIcon(icon.c_str(), logoName, &logoHostSilent);
        const AnswerFileGuard logoFile(logoPath);
        if (watch.Gone())
            return std::nullopt;
        palette.catalogueUnreachable = palette.catalogueUnreachable || logoHostSilent;
        char folder[TempPathSize] = {};
        char iconName[32] = {};
        std::snprintf(iconName, sizeof iconName, "%d.icns", i);
        // Without a temporary folder the button goes without its icon.
        const bool hasFolder = GetTempPath(TempPathSize, folder) < TempPathSize + 1;
        std::string iconPath = hasFolder ? std::string(folder) + iconName : std::string();
        const AnswerFileGuard iconFile(iconPath);

        button.toolTip = DG::ToolTipText(name.c_str());
        {
            FooWrapper fr;
            // The icon keeps what it needs of the image, so the image goes right away.
            std::unique_ptr<const NSImage> image(
                static_cast<const NSImage*>(fr.convertIcon(logoPath.data(), iconPath.data())));
            button.SetIcon(DG::Icon::FromNativeImage(image.get()));
        }
        button.Attach(button);
        if (invalidate)
            DGInvalidateItem(PaletteResId, item);
        SetStartupProgress(90 + i);
        ++i;
    }
    return i;
}

}  // namespace

int ReadUnreadMailCount(XmlAnswer& reader)
{
    while (reader.read())
        if (reader.getNodeType() == XmlAnswer::Node::Element && CHEqualCStrings(reader.getNodeName(), "Bim"))
            return std::atoi(Attribute(reader, "UnreadEmails"));
    return 0;
}

std::vector<FeaturedEntry> ReadFeaturedEntries(XmlAnswer& reader, const char* elementName, size_t limit)
{
    std::vector<FeaturedEntry> entries;
    while (entries.size() < limit && reader.read())
        if (reader.getNodeType() == XmlAnswer::Node::Element && CHEqualCStrings(reader.getNodeName(), elementName))
            entries.push_back({Attribute(reader, "Name"), Attribute(reader, "Icon"), Attribute(reader, "Url")});
    return entries;
}

int MainObserver::AskForNumOfMailsHandler(int& count)
{
    SetStartupProgress(30);
    const PaletteWatch watch(palettePtr);
    const auto key = GetCheckedAPIKey();
    if (watch.Gone()) {
        count = 0;
        return 0;
    }
    const PostResult post = PostServiceRequest(Endpoints::Scheme::Https, "/GetUnreadEmailsCount2",
                                               FormatRequest(MailRequestTemplate, {key.get()}));
    if (!post.started) {
        SetStartupProgress(40);
        count = 0;
        return 0;
    }
    if (MainPalette* palette = watch.Palette(); palette != nullptr && IsUnreachable(post.curlCode))
        palette->catalogueUnreachable = true;
    AnswerFileGuard answerFile(post.answerFile);
    SetStartupProgress(35);

    int unread = 0;
    {
        XmlAnswer reader(post.answerFile.c_str());
        unread = ReadUnreadMailCount(reader);
    }
    SetStartupProgress(40);
    count = unread;
    return 0;
}

bool MainPalette::GetFeaturedManufacturers(const PaletteWatch& watch)
{
    const PostResult post =
        PostServiceRequest(Endpoints::Scheme::Https, "/GetFeaturedManufacturers2", ManufacturersRequest);
    AnswerFileGuard answerFile(post.answerFile);
    if (watch.Gone())
        return false;
    if (!post.started)
        return true;
    catalogueUnreachable = catalogueUnreachable || IsUnreachable(post.curlCode);
    return FillManufacturerButtons(watch, post.answerFile, "ManufacturersModel", true).has_value();
}

bool MainPalette::GetFavouritePrivateClouds(const PaletteWatch& watch)
{
    const auto key = GetCheckedAPIKey();
    if (watch.Gone())
        return false;
    const PostResult post = PostServiceRequest(Endpoints::Scheme::Https, "/GetFavouritePrivateCloudXml2",
                                               FormatRequest(PrivateCloudsRequestTemplate, {key.get()}));
    AnswerFileGuard answerFile(post.answerFile);
    if (watch.Gone())
        return false;
    if (!post.started)
        return true;
    const std::optional<int> filled =
        FillManufacturerButtons(watch, post.answerFile, "FavouritePrivateCloudModel", false);
    if (!filled)
        return false;
    if (*filled == 0) {
        // Nothing chosen yet: the one button leads to where the user chooses them.
        separator9.Show();
        customButtons[0]->Show();
        customButtons[0]->toolTip = DG::ToolTipText("Define favourite private clouds...");
        customButtons[0]->Attach(*customButtons[0]);
        urls.Push(Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, "/Account/UserPreference"));
    }
    return true;
}
