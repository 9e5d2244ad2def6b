#include "XmlAnswer.hpp"
#include "XmlCheck.hpp"

#include "IO.hpp"

#include <irrlicht/irrXML.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

namespace {

// Hands irrXML a prepared text; irrXML copies it whole while the reader is made.
class AnswerText : public irr::io::IFileReadCallBack {
public:
    explicit AnswerText(const std::string& text) : text_(text) {}

    int read(void* buffer, int sizeToRead) override
    {
        const size_t count = std::min(text_.size() - position_, static_cast<size_t>(std::max(sizeToRead, 0)));
        std::memcpy(buffer, text_.data() + position_, count);
        position_ += count;
        return static_cast<int>(count);
    }

    long getSize() const override { return static_cast<long>(text_.size()); }

private:
    const std::string& text_;
    size_t position_ = 0;
};

// Reads at most one byte more than an acceptable answer may have.
bool ReadFile(const char* path, std::string* text)
{
    FILE* file = path != nullptr ? IO::OpenFile(IO::Location(path), "rb") : nullptr;
    if (file == nullptr)
        return false;
    char block[65536];
    for (size_t n; text->size() <= XmlCheck::AnswerLimit && (n = std::fread(block, 1, sizeof block, file)) > 0;)
        text->append(block, n);
    std::fclose(file);
    return true;
}

}  // namespace

struct XmlAnswer::Reader {
    explicit Reader(irr::io::IrrXMLReader* r) : xml(r) {}
    ~Reader() { delete xml; }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // A value with stand-ins is handed out restored; it lives until the next node.
    const char* Restored(const char* value)
    {
        if (value == nullptr || !XmlCheck::NeedsRestore(value))
            return value;
        return restored.emplace_back(XmlCheck::Restore(value)).c_str();
    }

    irr::io::IrrXMLReader* xml;
    std::deque<std::string> restored;
};

XmlAnswer::XmlAnswer(const char* path)
{
    std::string text;
    if (ReadFile(path, &text))
        Open(text);
}

XmlAnswer::XmlAnswer(InMemory, std::string_view answer)
{
    Open(answer);
}

void XmlAnswer::Open(std::string_view answer)
{
    const std::optional<std::string> text = XmlCheck::Prepare(answer);
    if (!text)
        return;
    AnswerText source(*text);
    if (irr::io::IrrXMLReader* xml = irr::io::createIrrXMLReader(&source))
        reader_ = std::make_unique<Reader>(xml);
}

XmlAnswer::~XmlAnswer() = default;

bool XmlAnswer::read()
{
    if (reader_ == nullptr)
        return false;
    reader_->restored.clear();
    return reader_->xml->read();
}

XmlAnswer::Node XmlAnswer::getNodeType() const
{
    switch (reader_->xml->getNodeType()) {
    case irr::io::EXN_ELEMENT: return Node::Element;
    case irr::io::EXN_ELEMENT_END: return Node::ElementEnd;
    case irr::io::EXN_TEXT: return Node::Text;
    default: return Node::Other;
    }
}

const char* XmlAnswer::getNodeName() const
{
    return reader_->Restored(reader_->xml->getNodeName());
}

const char* XmlAnswer::getNodeData() const
{
    return reader_->Restored(reader_->xml->getNodeData());
}

const char* XmlAnswer::getAttributeValue(const char* name) const
{
    return reader_->Restored(reader_->xml->getAttributeValue(name));
}

int XmlAnswer::getAttributeCount() const
{
    return static_cast<int>(reader_->xml->getAttributeCount());
}

const char* XmlAnswer::getAttributeName(int index) const
{
    return reader_->Restored(reader_->xml->getAttributeName(index));
}

const char* XmlAnswer::getAttributeValueAt(int index) const
{
    return reader_->Restored(reader_->xml->getAttributeValue(index));
}

bool XmlAnswer::isEmptyElement() const
{
    return reader_->xml->isEmptyElement();
}
