// Pull reading of a service answer file with irrXML. irrXML's header predates C++20, so it
// is compiled in this one place and reached through this thin, owning reader. An answer that
// fails the strict check in front of irrXML (XmlCheck.hpp) is no answer: IsOpen is false.
#pragma once

#include <memory>
#include <string_view>

class XmlAnswer {
public:
    enum class Node { Element, ElementEnd, Text, Other };

    // Opens the file; IsOpen is false when it cannot be read or is not an acceptable answer.
    explicit XmlAnswer(const char* path);
    // Reads an answer that is already in memory.
    struct InMemory {};
    XmlAnswer(InMemory, std::string_view answer);
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
    // The current element's attributes by position, 0 up to the count, in the order written.
    int getAttributeCount() const;
    const char* getAttributeName(int index) const;
    const char* getAttributeValueAt(int index) const;
    // True for an element written as a self-closing tag.
    bool isEmptyElement() const;

private:
    struct Reader;
    void Open(std::string_view answer);
    std::unique_ptr<Reader> reader_;
};
