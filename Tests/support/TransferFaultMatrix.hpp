#pragma once

// Every misbehaviour of the local service against the add-on's file transfers: what each
// caller must make of it. One row per fault mode; the tests of each caller run every row.

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

namespace kordela::test {

// A downloaded part: installed, failed with the transfer's reason, or refused by the host
// (removed again and said).
enum class DownloadOutcome { Installs, FailsTold, NotLoadable };
// The installer image: mounted, failed and said, or kept but not mountable (shown with the
// mounting message).
enum class InstallerOutcome { Mounts, FailsTold, NotMountable };
// The version file: the published 3.3 read (an offer), read as no version (no offer), or
// not fetched (the version check's alert).
enum class VersionOutcome { Offers, NoOffer, Unreachable };
// A manufacturer's logo: shown, missing, or missing because its host kept silent (the user
// told once, the other logos not waited for).
enum class LogoOutcome { Icon, NoIcon, Silent };

struct TransferFault {
    const char* mode;
    nlohmann::json settings;
    DownloadOutcome download;
    InstallerOutcome installer;
    VersionOutcome version;
    LogoOutcome logo;
    const char* name = nullptr;  // the row's test name where the mode alone does not tell it
};

// The transfer limits the matrix runs under: each silent or stalled case ends in about 2 s.
inline constexpr long MatrixConnectSeconds = 2;
inline constexpr long MatrixLowSpeedBytesPerSecond = 100;
inline constexpr long MatrixLowSpeedSeconds = 2;

inline const TransferFault TransferFaults[] = {
    {"http500", nlohmann::json::object(), DownloadOutcome::FailsTold, InstallerOutcome::FailsTold,
     VersionOutcome::NoOffer, LogoOutcome::NoIcon},
    {"html-error", nlohmann::json::object(), DownloadOutcome::FailsTold, InstallerOutcome::FailsTold,
     VersionOutcome::NoOffer, LogoOutcome::NoIcon},
    {"no-answer",
     {{"seconds", 30}},
     DownloadOutcome::FailsTold,
     InstallerOutcome::FailsTold,
     VersionOutcome::Unreachable,
     LogoOutcome::Silent},
    // The connection closed without an answer.
    {"no-answer",
     {{"seconds", 0}},
     DownloadOutcome::FailsTold,
     InstallerOutcome::FailsTold,
     VersionOutcome::Unreachable,
     LogoOutcome::Silent,
     "dropped"},
    // 10 bytes a second: a four-byte version file still arrives within the window.
    {"trickle", nlohmann::json::object(), DownloadOutcome::FailsTold, InstallerOutcome::FailsTold,
     VersionOutcome::Offers, LogoOutcome::Silent},
    {"truncated", nlohmann::json::object(), DownloadOutcome::FailsTold, InstallerOutcome::FailsTold,
     VersionOutcome::Unreachable, LogoOutcome::NoIcon},
    {"redirect-chain",
     {{"count", 3}},
     DownloadOutcome::Installs,
     InstallerOutcome::Mounts,
     VersionOutcome::Offers,
     LogoOutcome::Icon},
    {"gzip", nlohmann::json::object(), DownloadOutcome::Installs, InstallerOutcome::Mounts, VersionOutcome::Offers,
     LogoOutcome::Icon},
    {"malformed-xml", nlohmann::json::object(), DownloadOutcome::NotLoadable, InstallerOutcome::NotMountable,
     VersionOutcome::NoOffer, LogoOutcome::NoIcon},
    {"unexpected-xml", nlohmann::json::object(), DownloadOutcome::NotLoadable, InstallerOutcome::NotMountable,
     VersionOutcome::NoOffer, LogoOutcome::NoIcon},
    {"body",
     {{"body", "\x01\x02 not what was asked for"}, {"content_type", "application/octet-stream"}},
     DownloadOutcome::NotLoadable,
     InstallerOutcome::NotMountable,
     VersionOutcome::NoOffer,
     LogoOutcome::NoIcon},
    {"throttle",
     {{"bytes_per_second", 20000}},
     DownloadOutcome::Installs,
     InstallerOutcome::Mounts,
     VersionOutcome::Offers,
     LogoOutcome::Icon},
    // No Content-Length: the body ends with the last chunk.
    {"chunked",
     {{"chunk_bytes", 1000}},
     DownloadOutcome::Installs,
     InstallerOutcome::Mounts,
     VersionOutcome::Offers,
     LogoOutcome::Icon},
    {"deflate", nlohmann::json::object(), DownloadOutcome::Installs, InstallerOutcome::Mounts, VersionOutcome::Offers,
     LogoOutcome::Icon},
    {"redirect",
     {{"to", "/missing"}},
     DownloadOutcome::FailsTold,
     InstallerOutcome::FailsTold,
     VersionOutcome::NoOffer,
     LogoOutcome::NoIcon},
};

inline std::ostream& operator<<(std::ostream& out, const TransferFault& fault)
{
    return out << fault.mode;
}

// A test name for a row: the mode with "-" as "_".
inline std::string TransferFaultName(const TransferFault& fault)
{
    std::string name = fault.name != nullptr ? fault.name : fault.mode;
    for (char& c : name)
        c = c == '-' ? '_' : c;
    return name;
}

}  // namespace kordela::test
