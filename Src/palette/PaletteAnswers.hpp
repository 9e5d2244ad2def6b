// The reading of the palette's service answers: the unread-mail count and the featured
// manufacturers (or favourite private clouds).
#pragma once

#include <string>
#include <vector>

class XmlAnswer;

// "UnreadEmails" of the first "Bim" element, read like atoi; 0 when there is none.
int ReadUnreadMailCount(XmlAnswer& reader);

struct FeaturedEntry {
    std::string name;
    std::string icon;
    std::string url;
};

// Name, logo and page of each `elementName` element, at most `limit`, in document order.
std::vector<FeaturedEntry> ReadFeaturedEntries(XmlAnswer& reader, const char* elementName, size_t limit);
