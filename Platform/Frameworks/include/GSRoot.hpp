// Basic host-framework types: error codes, character codes, resource modules.
#pragma once

#include <cstdint>

using GSErrCode = int32_t;
using GSResModule = long long;
using GSCharCode = int;
using UIndex = uint32_t;
using USize = uint32_t;

constexpr GSCharCode CC_Default = 0;
constexpr GSCharCode CC_UTF8 = 1;

constexpr GSErrCode NoError = 0;

// Builds the four-character request codes ('GSPF', 'LLIB', ...) without multi-character literals.
constexpr int32_t FourCC(const char (&code)[5])
{
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
                                static_cast<uint32_t>(static_cast<unsigned char>(code[3])));
}

// Host error codes the add-on and the host exchange.
namespace ErrCode {
constexpr GSErrCode General = static_cast<GSErrCode>(0x81060001u);
constexpr GSErrCode Memory = static_cast<GSErrCode>(0x81060002u);
constexpr GSErrCode Cancel = static_cast<GSErrCode>(0x81060003u);
constexpr GSErrCode BadIndex = static_cast<GSErrCode>(0x81060067u);
constexpr GSErrCode NoSelection = static_cast<GSErrCode>(0x810600CEu);
constexpr GSErrCode MissingFunction = static_cast<GSErrCode>(0x81060387u);
constexpr GSErrCode NotFound = static_cast<GSErrCode>(0x8106038Bu);
// File system
constexpr GSErrCode FolderExists = static_cast<GSErrCode>(0x81010206u);
constexpr GSErrCode FileExists = static_cast<GSErrCode>(0x81010205u);
// A copy whose target is there already; the host reports it under the folder code.
constexpr GSErrCode TargetExists = static_cast<GSErrCode>(0x81010206u);
constexpr GSErrCode AccessDenied = static_cast<GSErrCode>(0x81010203u);
constexpr GSErrCode TargetNotFound = static_cast<GSErrCode>(0x81010202u);
constexpr GSErrCode FileSystemError = static_cast<GSErrCode>(0x81010201u);
// What a copy answers when it may not write the target, and when the target's folder is
// missing; hosts before 18 number them differently.
#if KORDELA_HOST_VERSION < 18
constexpr GSErrCode CopyAccessDenied = static_cast<GSErrCode>(0x81010306u);
constexpr GSErrCode CopyTargetFolderMissing = static_cast<GSErrCode>(0x81010305u);
#else
constexpr GSErrCode CopyAccessDenied = static_cast<GSErrCode>(0x81010308u);
constexpr GSErrCode CopyTargetFolderMissing = static_cast<GSErrCode>(0x81010307u);
#endif
}  // namespace ErrCode
