// Any message a page posts to "interOp": a dictionary of arbitrary keys and values, most of
// them the keys the bridge reads. Service requests go to a closed local port.
#include "FuzzSupport.hpp"
#include "windowcontroller.hpp"

#include <cstdlib>

namespace {

Platform::ScriptValue Value(FuzzedDataProvider& in)
{
    static const std::vector<std::string> Functions = {
        "download", "downloadProgress", "productUpdateGetInfo", "productUpdateDoUpdate", "productUpdateResultGetInfo",
        "kdpcUpdateGetInfo", "kdpcUpdateDoUpdate", "kdpcUpdateResultGetInfo", "addKDPC", "linkKDPC", "unlinkKDPC"};
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
    FUZZ_CHECK(std::memchr(url, '\0', sizeof url) != nullptr && std::memchr(fileName, '\0', sizeof fileName) != nullptr);
    return 0;
}
