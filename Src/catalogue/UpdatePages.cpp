#include "UpdatePages.hpp"

#include "BrowserDialog.hpp"
#include "HostServices.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

GSErrCode OpenUpdatePage(const std::string& pageAddress)
{
    const auto address = UrlGenerator(pageAddress.c_str());
    if (!address) {
        ReportAlert("Error initializing the browser component.");
        return ErrCode::General;
    }
    RunBrowserDialog(address.get(), false, 0);
    return NoError;
}

std::unique_ptr<char[]> NewCString(const std::string& text, size_t minimumSize)
{
    const size_t size = std::max(text.size() + 1, minimumSize);
    auto buffer = std::make_unique<char[]>(size);
    std::memcpy(buffer.get(), text.data(), text.size());
    return buffer;
}

bool ListableProductGuid(const std::string& guid)
{
    if (guid.find_first_of(",;") == std::string::npos)
        return true;
    ReportLine("Product left out of the update list, its GUID holds \",\" or \";\": " + guid);
    return false;
}

std::string JsonText(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}
