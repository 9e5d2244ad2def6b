#include "XmlAnswer.hpp"

#include <irrlicht/irrXML.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// irrXML reads past the end of its data when the text ends inside a tag, as a cut-off
// answer may. Such a last, unfinished tag can hold nothing of interest, so it is dropped
// before irrXML sees the text.
class AnswerText : public irr::io::IFileReadCallBack {
public:
    explicit AnswerText(std::string text) : text_(std::move(text))
    {
        const size_t lastClose = text_.rfind('>');
        const size_t openAfter = text_.find('<', lastClose == std::string::npos ? 0 : lastClose + 1);
        if (openAfter != std::string::npos)
            text_.resize(openAfter);
    }

    int read(void* buffer, int sizeToRead) override
    {
        const size_t count = std::min(text_.size() - position_, static_cast<size_t>(std::max(sizeToRead, 0)));
        std::memcpy(buffer, text_.data() + position_, count);
        position_ += count;
        return static_cast<int>(count);
    }

    long getSize() const override { return static_cast<long>(text_.size()); }

private:
    std::string text_;
    size_t position_ = 0;
};

bool ReadFile(const char* path, std::string* text)
{
    FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr)
        return false;
    char block[65536];
    for (size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;)
        text->append(block, n);
    std::fclose(file);
    return true;
}

}  // namespace

struct XmlAnswer::Reader {
    explicit Reader(irr::io::IrrXMLReader* r) : xml(r) {}
    ~Reader() { delete xml; }
    irr::io::IrrXMLReader* xml;
};

XmlAnswer::XmlAnswer(const char* path)
{
    std::string text;
    if (!ReadFile(path, &text))
        return;
    AnswerText source(std::move(text));
    // irrXML copies the whole text while it is made, so the source may go afterwards.
    if (irr::io::IrrXMLReader* xml = irr::io::createIrrXMLReader(&source))
        reader_ = new Reader(xml);
}

XmlAnswer::~XmlAnswer()
{
    delete reader_;
}

bool XmlAnswer::read()
{
    return reader_ != nullptr && reader_->xml->read();
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
    return reader_->xml->getNodeName();
}

const char* XmlAnswer::getNodeData() const
{
    return reader_->xml->getNodeData();
}

const char* XmlAnswer::getAttributeValue(const char* name) const
{
    return reader_->xml->getAttributeValue(name);
}

bool XmlAnswer::isEmptyElement() const
{
    return reader_->xml->isEmptyElement();
}
