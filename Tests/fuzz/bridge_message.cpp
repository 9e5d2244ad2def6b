// Any message a page posts to "interOp": a dictionary of arbitrary keys and values, most of
// them the keys the bridge reads. Service requests go to a closed local port; the host gives
// only its special folders, all in a scratch folder that is emptied after every message.
#include "FuzzSupport.hpp"
#include "IO.hpp"
#include "windowcontroller.hpp"

#include <cstdlib>
#include <filesystem>

extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

namespace {

std::filesystem::path& Scratch()
{
    static std::filesystem::path folder;
    return folder;
}

GSErrCode Environment(int32_t code, void*, void* location, void*)
{
    if (code != APIEnv_GetSpecFolderID || location == nullptr)
        return ErrCode::General;
    *static_cast<IO::Location*>(location) = IO::Location((Scratch() / "Special" / "Folder").string());
    return NoError;
}

Platform::ScriptValue Value(FuzzedDataProvider& in)
{
    static const std::vector<std::string> Functions = {"download",
                                                       "downloadProgress",
                                                       "productUpdateGetInfo",
                                                       "productUpdateDoUpdate",
                                                       "productUpdateResultGetInfo",
                                                       "kdpcUpdateGetInfo",
                                                       "kdpcUpdateDoUpdate",
                                                       "kdpcUpdateResultGetInfo",
                                                       "addKDPC",
                                                       "linkKDPC",
                                                       "unlinkKDPC"};
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: return Platform::ScriptValue();
    case 1: return Platform::ScriptValue(in.ConsumeFloatingPoint<double>());
    case 2: return Platform::ScriptValue(in.ConsumeBool());
    case 3: return Platform::ScriptValue(fuzz::PickName(in, Functions));
    default: return Platform::ScriptValue(in.ConsumeRandomLengthString(2048));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("KORDELA_SERVICE_ORIGIN", "http://127.0.0.1:9", 1);
    char pattern[] = "/tmp/kordela-fuzz-bridge-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        std::abort();
    Scratch() = pattern;
    std::atexit([] { std::filesystem::remove_all(Scratch()); });
    static API_HostTable table {};
    table.Environment = Environment;
    SetImportedFuncAddrs(&table, sizeof table);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::vector<std::string> Keys = {"functionName", "url1", "filename1", "items", "kdpcId"};
    FuzzedDataProvider in(data, size);
    NSDictionary body;
    body["functionName"] = Value(in);
    while (in.remaining_bytes() > 0 && body.size() < 8)
        body[fuzz::PickName(in, Keys)] = Value(in);

    static char url[1024];
    static char fileName[1024];
    url[0] = fileName[0] = '\0';
    auto controller = std::make_shared<windowcontroller>();
    controller->setUrlPointer(url);
    controller->setFileNamePointer(fileName);
    WKUserContentController contentController;
    controller->userContentController(contentController, WKScriptMessage {"interOp", body});
    FUZZ_CHECK(std::memchr(url, '\0', sizeof url) != nullptr &&
               std::memchr(fileName, '\0', sizeof fileName) != nullptr);
    // Answer files and whatever else the message left.
    for (const auto& entry : std::filesystem::directory_iterator(Scratch()))
        std::filesystem::remove_all(entry.path());
    return 0;
}
