// Product URL to product GUID, answered from a cache that the service fills. Only
// non-empty answers are remembered, so an unknown product is asked for again next time.
#pragma once

#include "GS.hpp"

class XmlAnswer;

class UrlToGuidHandler : public GS::HashTable<GS::UniString, GS::UniString> {
public:
    static UrlToGuidHandler& getInstance();

    GS::UniString operator[](const GS::UniString& url);
    // The first non-empty value for a key wins; an empty one may be replaced later.
    void Add(const GS::UniString& key, const GS::UniString& value);
    // One request to the service; empty when it knows no GUID or cannot be asked.
    GS::UniString TryToGet(const GS::UniString& url);

private:
    UrlToGuidHandler() = default;
};

// The text of the last "ProductGuid" inside an "Object" of a lookup answer; empty when none.
GS::UniString ReadProductGuid(XmlAnswer& reader);
