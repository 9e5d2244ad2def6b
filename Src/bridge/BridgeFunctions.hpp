// The bridge dispatch: what the pages ask of the downloads, the object update and the
// property clouds, routed to their managers. Texts handed back belong to the caller.
#pragma once

#include <memory>

long AddKDPC(int cloudId, int libPartIndex);
long LinkKDPC(int cloudId, int libPartIndex);
long UnlinkKDPC(int cloudId, int libPartIndex);

std::unique_ptr<char[]> GetUpdateInfo();
std::unique_ptr<char[]> GetUpdateResultInfo();
long UpdateProducts(char* items);

std::unique_ptr<char[]> GetKDPCUpdateInfo();
std::unique_ptr<char[]> GetKDPCUpdateResultInfo();
long UpdateKDPC(char* items);

// One step of the running download: the percent done, 0 to 100, or a negative value when
// the transfer ended without completing (failed, cancelled, or there is none).
long DownloadProgress();
long DownloadCancel();

// Hands the calls above to the catalogue's script bridge, which cannot include them.
void RegisterBridgeDispatch();
