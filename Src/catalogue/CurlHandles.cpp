#include "CurlHandles.hpp"

void Curl::FormCleanup::operator()(curl_httppost* form) const
{
    curl_formfree(form);
}
