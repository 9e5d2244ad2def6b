// libcurl's handles, each owned by one object that releases it on every path.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace Curl {

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiCleanup {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
// Out of line: the classic form calls are deprecated for code that includes this header.
struct FormCleanup {
    void operator()(curl_httppost* form) const;
};

using Easy = std::unique_ptr<CURL, EasyCleanup>;
using Multi = std::unique_ptr<CURLM, MultiCleanup>;
using List = std::unique_ptr<curl_slist, ListCleanup>;
using Form = std::unique_ptr<curl_httppost, FormCleanup>;

// A new easy handle; empty when libcurl cannot make one.
inline Easy NewEasy()
{
    return Easy(curl_easy_init());
}

}  // namespace Curl
