// The self-update: the published version of this host version's add-on against our own,
// and on the user's word the installer image downloaded, mounted and shown in the Finder.
#include "MainObserver.hpp"

#include "CommandRunner.hpp"
#include "DG.hpp"
#include "Endpoints.hpp"
#include "FileTransfer.hpp"
#include "Folders.hpp"
#include "FooWrapper.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "IO.hpp"
#include "Messages.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace Messages;

constexpr const char* MountedItem = "/Volumes/Kordela/Kordela";
constexpr const char* InstallerFailed =
    "The installer could not be downloaded. Nothing was installed; the update will be offered again the next time the "
    "palette opens.";

GS::UniString Loc(short index)
{
    return GS::UniString(LocString(List, index));
}

std::string VersionFileAddress()
{
    const std::string path = "/kordela_data/documents/Apps/versionMac" + std::to_string(HostVersion) + ".txt";
    return Endpoints::Address(Endpoints::Scheme::Https, Endpoints::InfoHost, path.c_str());
}

}  // namespace

GSErrCode MainObserver::CheckForSelfUpdate(const char* currentVersion)
{
    const double own = std::atof(currentVersion != nullptr ? currentVersion : "");
    std::string body;
    const GetResult versionFile = GetToMemory(VersionFileAddress().c_str(), body);
    if (!versionFile.started) {
        ReportAlert(LocString(List, VersionCheckNotStarted).c_str());
        return ErrCode::General;
    }
    if (versionFile.curlCode != 0)
        return ErrCode::NotFound;
    // An error page or an empty file reads as version 0 and offers nothing.
    const double remote = std::atof(body.c_str());
    if (!(remote > own))
        return NoError;

    if (DGAlert(-3, Loc(AlertTitle), Loc(UpdateOffer), GS::UniString(), Loc(UpdateAccept), Loc(UpdateDecline),
                GS::UniString()) != 1)
        return NoError;

    char folder[TempPathSize] = {};
    if (GetTempPath(TempPathSize, folder) >= TempPathSize + 1) {
        ReportAlert(LocString(List, TempPathTooLong).c_str());
        return ErrCode::General;
    }
    char installer[TempPathSize + 64] = {};
    std::snprintf(installer, sizeof installer, "%s/Kordela-ArchiCAD%d.dmg", folder, HostVersion);

    const std::string image =
        Endpoints::Address(Endpoints::Scheme::Https, Endpoints::InfoHost, "/kordela_data/documents/Apps/Kordela.dmg");
    const GetResult download = GetToFile(image.c_str(), installer, TransferKind::File);
    if (!download.started) {
        ReportAlert(LocString(List, InstallerNotStarted).c_str());
        return ErrCode::General;
    }
    if (!download.DeliveredFile()) {
        // A broken, partial or error-page image is neither mounted nor left behind to be opened by hand;
        // the palette goes on as after a declined offer.
        IO::fileSystem.Delete(IO::Location(installer), 0, IO::FileSystem::OnAccessDeniedIgnore);
        ReportAlert(InstallerFailed);
        return NoError;
    }

    DGAlert(-3, Loc(AlertTitle), Loc(InstallerDownloaded), GS::UniString(), Loc(AlertButton), GS::UniString(),
            GS::UniString());

    FooWrapper fr;
    // Started without a shell, so no character of the path is interpreted.
    if (Platform::RunProgram({"/usr/bin/hdiutil", "attach", installer}) != 0) {
        fr.openfolder(installer);
        ReportAlert("Mounting DMG file failed, please try to install manually.");
    } else {
        std::string mounted = MountedItem;
        fr.openfolder(mounted.data());
    }
    return ErrCode::Cancel;
}
