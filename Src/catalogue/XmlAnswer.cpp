#include "XmlAnswer.hpp"

#include <irrlicht/irrXML.h>

struct XmlAnswer::Reader {
    explicit Reader(irr::io::IrrXMLReader* r) : xml(r) {}
    ~Reader() { delete xml; }
    irr::io::IrrXMLReader* xml;
};

XmlAnswer::XmlAnswer(const char* path)
{
    if (irr::io::IrrXMLReader* xml = irr::io::createIrrXMLReader(path))
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
