// Items of the add-on's message list 32530 that the palette and its launchers show.
#pragma once

namespace PaletteMessages {
constexpr short List = 32530;
constexpr short TempPathTooLong = 1;
constexpr short NothingSelected = 10;
constexpr short SeveralSelected = 11;
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
}  // namespace PaletteMessages
