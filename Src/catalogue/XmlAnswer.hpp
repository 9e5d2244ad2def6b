// Pull reading of a service answer file with irrXML. irrXML's header predates C++20, so it
// is compiled in this one place and reached through this thin, owning reader.
#pragma once

#include <memory>

class XmlAnswer {
public:
    enum class Node { Element, ElementEnd, Text, Other };

    // Opens the file; IsOpen is false when irrXML gives no reader.
    explicit XmlAnswer(const char* path);
    ~XmlAnswer();
    XmlAnswer(const XmlAnswer&) = delete;
    XmlAnswer& operator=(const XmlAnswer&) = delete;

    bool IsOpen() const { return reader_ != nullptr; }
    bool read();
    Node getNodeType() const;
    const char* getNodeName() const;
    const char* getNodeData() const;
    // Null when the current element has no such attribute.
    const char* getAttributeValue(const char* name) const;
    // True for an element written as a self-closing tag.
    bool isEmptyElement() const;

private:
    struct Reader;
    Reader* reader_ = nullptr;
};
