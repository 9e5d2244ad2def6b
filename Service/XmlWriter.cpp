#include "XmlWriter.hpp"

namespace kordela::service {

namespace {

bool Plain(char c)
{
    return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && c != '&' && c != '<' && c != '>' && c != '"' &&
           c != '\'';
}

// Runs of plain characters are copied at once.
void AppendXmlEscaped(std::string& out, std::string_view text)
{
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (Plain(c))
            continue;
        out.append(text.data() + plainFrom, i - plainFrom);
        plainFrom = i + 1;
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: break;  // a byte XML cannot carry
        }
    }
    out.append(text.data() + plainFrom, text.size() - plainFrom);
}

}  // namespace

std::string XmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendXmlEscaped(out, text);
    return out;
}

XmlWriter::XmlWriter() : out_("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") {}

void XmlWriter::WriteStartTag(std::string_view name, const XmlAttributes& attributes)
{
    out_ += '<';
    out_ += name;
    for (const auto& [key, value] : attributes) {
        out_ += ' ';
        out_ += key;
        out_ += "=\"";
        AppendXmlEscaped(out_, value);
        out_ += '"';
    }
}

XmlWriter& XmlWriter::Open(std::string_view name, const XmlAttributes& attributes)
{
    WriteStartTag(name, attributes);
    out_ += '>';
    open_.emplace_back(name);
    return *this;
}

XmlWriter& XmlWriter::Empty(std::string_view name, const XmlAttributes& attributes)
{
    WriteStartTag(name, attributes);
    out_ += "/>";
    return *this;
}

XmlWriter& XmlWriter::TextElement(std::string_view name, const XmlAttributes& attributes, std::string_view text)
{
    Open(name, attributes);
    AppendXmlEscaped(out_, text);
    return Close();
}

XmlWriter& XmlWriter::Close()
{
    if (!open_.empty()) {
        out_ += "</";
        out_ += open_.back();
        out_ += '>';
        open_.pop_back();
    }
    return *this;
}

void XmlWriter::Reserve(std::size_t bytes)
{
    out_.reserve(bytes);
}

std::string XmlWriter::Finish()
{
    while (!open_.empty())
        Close();
    return std::move(out_);
}

}  // namespace kordela::service
