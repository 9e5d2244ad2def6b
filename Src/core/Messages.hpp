// Every string list of the add-on's resources and the items of them that the code shows.
#pragma once

// The add-on's name and description for the host's add-on list.
namespace AddOnInfo {
constexpr short List = 32000;
constexpr short Name = 1;
constexpr short Description = 2;
}  // namespace AddOnInfo

// The menu's prompt text.
namespace MenuPrompt {
constexpr short List = 32520;
}  // namespace MenuPrompt

// Alerts and questions of the downloads, the update and the palette.
namespace Messages {
constexpr short List = 32530;
constexpr short TempPathTooLong = 1;
constexpr short TransferNotStarted = 2;
constexpr short NoInstallFolder = 3;
constexpr short CopyTargetExists = 4;
constexpr short CopyAccessDenied = 5;
constexpr short CopyFolderNotFound = 6;
constexpr short CopyFailed = 7;
constexpr short UnaskedProduct = 8;  // followed by the product
constexpr short NothingSelected = 10;
constexpr short SeveralSelected = 11;
constexpr short UnknownParameterType = 13;  // followed by the type
constexpr short AlertTitle = 18;
constexpr short NoProductData = 19;
constexpr short AlertButton = 20;
constexpr short VersionCheckNotStarted = 22;
constexpr short UpdateOffer = 23;
constexpr short UpdateAccept = 24;
constexpr short UpdateDecline = 25;
constexpr short InstallerNotStarted = 26;
constexpr short InstallerDownloaded = 27;
constexpr short VersionCheckTitle = 29;
}  // namespace Messages

// Download failures that the first list has no item for.
namespace DownloadTexts {
constexpr short List = 32531;
constexpr short Failed = 1;          // followed by the reason
constexpr short FileNotWritten = 2;  // followed by the path
constexpr short NameRefused = 3;     // followed by the name
constexpr short NotLoadable = 4;     // followed by the name
}  // namespace DownloadTexts
