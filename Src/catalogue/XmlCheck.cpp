#include "XmlCheck.hpp"

#include <algorithm>
#include <cstdint>

namespace XmlCheck {
namespace {

// Bytes that never occur in UTF-8 stand for the characters that are markup, so that irrXML
// never meets a reference (it drops characters after one and knows no numeric ones).
constexpr char Markup[] = {'&', '<', '>', '"', '\''};
constexpr char StandIns[] = {'\xF8', '\xF9', '\xFA', '\xFB', '\xFC'};

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsNameStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool IsNameChar(unsigned char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

bool IsXmlChar(uint32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Valid UTF-8 holding only characters XML allows; this also refuses the byte-order marks of
// UTF-16 and UTF-32, from which irrXML would guess another encoding.
bool IsXmlUtf8(std::string_view text)
{
    static constexpr uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        uint32_t c = lead;
        if (lead >= 0x80) {
            if ((lead & 0xE0) == 0xC0)
                length = 2, c = lead & 0x1F;
            else if ((lead & 0xF0) == 0xE0)
                length = 3, c = lead & 0x0F;
            else if ((lead & 0xF8) == 0xF0)
                length = 4, c = lead & 0x07;
            else
                return false;
            if (text.size() - i < length)
                return false;
            for (size_t k = 1; k < length; ++k) {
                const auto next = static_cast<unsigned char>(text[i + k]);
                if ((next & 0xC0) != 0x80)
                    return false;
                c = (c << 6) | (next & 0x3F);
            }
            if (c < Least[length])
                return false;
        }
        if (!IsXmlChar(c))
            return false;
        i += length;
    }
    return true;
}

void AppendCharacter(std::string& out, uint32_t c)
{
    for (size_t k = 0; k < sizeof Markup; ++k)
        if (c == static_cast<unsigned char>(Markup[k])) {
            out += StandIns[k];
            return;
        }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

enum class Step { Ok, Bad, Cut };

// Reads the answer once, writing the form irrXML is given: every tag rebuilt in one plain
// shape, text with its references replaced.
class Parser {
public:
    // The output is about as long as the answer; one block up front spares the copies of growing.
    Parser(std::string_view in, std::vector<Node>* nodes) : in_(in), nodes_(nodes) { out_.reserve(in.size() + 16); }

    bool Run()
    {
        // Blanks before the declaration are not XML, but harmless; some servers send them.
        while (!AtEnd() && IsSpace(in_[pos_]))
            ++pos_;
        if (in_.substr(pos_, 5) == "<?xml" && (IsSpace(Peek(5)) || Peek(5) == '?')) {
            const Step declaration = Declaration();
            if (declaration != Step::Ok)
                return false;
        }
        bool afterText = false;
        size_t beforeText = 0;
        while (pos_ < in_.size()) {
            const size_t written = out_.size();
            const size_t reported = nodes_ != nullptr ? nodes_->size() : 0;
            const bool text = in_[pos_] != '<';
            const Step step = text ? Text() : Peek(1) == '/' ? CloseTag() : OpenTag();
            if (step == Step::Bad)
                return false;
            if (step == Step::Cut) {
                // Cut inside its last tag: what came before is the answer. Text is reported
                // only when a tag follows it, and a cut tag does not count.
                out_.resize(written);
                if (nodes_ != nullptr)
                    nodes_->resize(afterText && !text ? beforeText : reported);
                break;
            }
            afterText = text;
            beforeText = reported;
        }
        return rootSeen_;
    }

    std::string Result() { return std::move(out_); }

private:
    char Peek(size_t ahead = 0) const { return pos_ + ahead < in_.size() ? in_[pos_ + ahead] : '\0'; }
    bool AtEnd(size_t ahead = 0) const { return pos_ + ahead >= in_.size(); }

    void Emit(Node node)
    {
        if (nodes_ != nullptr)
            nodes_->push_back(std::move(node));
    }

    // "<?xml ... ?>" with no markup inside; irrXML skips it up to its first '>'.
    Step Declaration()
    {
        const size_t close = in_.find('>', pos_);
        if (close == std::string_view::npos)
            return Step::Bad;
        const std::string_view declaration = in_.substr(pos_, close + 1 - pos_);
        if (declaration.find('<', 1) != std::string_view::npos || declaration.size() < 7 ||
            declaration[declaration.size() - 2] != '?')
            return Step::Bad;
        pos_ = close + 1;
        return Step::Ok;
    }

    // A literal character of text or of an attribute value, line ends normalised.
    void Literal(std::string& target, bool attribute)
    {
        char c = in_[pos_++];
        if (c == '\r') {
            if (Peek() == '\n')
                ++pos_;
            c = '\n';
        }
        if (attribute && (c == '\n' || c == '\t'))
            c = ' ';
        target += c;
    }

    // The characters from pos_ on that stand for themselves, in text or in a value quoted
    // with `end`, taken at once; stops before anything Literal, Reference or the caller must
    // look at.
    void PlainRun(std::string& target, char end)
    {
        const size_t begin = pos_;
        while (pos_ < in_.size()) {
            const char c = in_[pos_];
            if (c == end || c == '<' || c == '>' || c == '&' || c == '"' || c == '\'' || c == '\r' || c == '\n' ||
                c == '\t')
                break;
            ++pos_;
        }
        target.append(in_.data() + begin, pos_ - begin);
    }

    // "&name;" or "&#N;" or "&#xH;" at pos_.
    Step Reference(std::string& target)
    {
        const size_t semicolon = in_.find(';', pos_);
        if (semicolon == std::string_view::npos)
            return in_.find_first_of("<>'\"", pos_) == std::string_view::npos ? Step::Cut : Step::Bad;
        const std::string_view body = in_.substr(pos_ + 1, semicolon - pos_ - 1);
        static constexpr std::string_view Names[] = {"amp", "lt", "gt", "quot", "apos"};
        uint32_t c = 0;
        bool found = false;
        for (size_t k = 0; k < std::size(Names); ++k)
            if (body == Names[k]) {
                c = static_cast<unsigned char>(Markup[k]);
                found = true;
            }
        if (!found) {
            if (body.size() < 2 || body[0] != '#')
                return Step::Bad;
            const bool hex = body[1] == 'x';
            const std::string_view digits = body.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 8)
                return Step::Bad;
            for (char d : digits) {
                int value;
                if (d >= '0' && d <= '9')
                    value = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    value = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    value = d - 'A' + 10;
                else
                    return Step::Bad;
                c = c * (hex ? 16 : 10) + static_cast<uint32_t>(value);
            }
            if (!IsXmlChar(c))
                return Step::Bad;
        }
        AppendCharacter(target, c);
        pos_ = semicolon + 1;
        return Step::Ok;
    }

    Step Name(std::string& name)
    {
        if (AtEnd())
            return Step::Cut;
        if (!IsNameStart(static_cast<unsigned char>(in_[pos_])))
            return Step::Bad;
        const size_t begin = pos_;
        while (!AtEnd() && IsNameChar(static_cast<unsigned char>(in_[pos_])))
            ++pos_;
        name.assign(in_.substr(begin, pos_ - begin));
        return AtEnd() ? Step::Cut : Step::Ok;
    }

    size_t SkipSpace()
    {
        const size_t begin = pos_;
        while (!AtEnd() && IsSpace(in_[pos_]))
            ++pos_;
        return pos_ - begin;
    }

    Step OpenTag()
    {
        ++pos_;
        if (Peek() == '!' || Peek() == '?')
            return AtEnd(1) ? Step::Cut : Step::Bad;
        Node node;
        node.kind = Node::Kind::Element;
        Step step = Name(node.name);
        if (step != Step::Ok)
            return step;
        // The tag goes straight into the output; a cut tag is taken back by Run.
        out_ += '<';
        out_ += node.name;
        for (;;) {
            const size_t spaces = SkipSpace();
            if (AtEnd())
                return Step::Cut;
            if (in_[pos_] == '>') {
                ++pos_;
                break;
            }
            if (in_[pos_] == '/') {
                if (AtEnd(1))
                    return Step::Cut;
                if (in_[pos_ + 1] != '>')
                    return Step::Bad;
                pos_ += 2;
                node.empty = true;
                break;
            }
            if (spaces == 0)
                return Step::Bad;
            std::string name;
            if ((step = Name(name)) != Step::Ok)
                return step;
            SkipSpace();
            if (AtEnd())
                return Step::Cut;
            if (in_[pos_++] != '=')
                return Step::Bad;
            SkipSpace();
            if (AtEnd())
                return Step::Cut;
            const char quote = in_[pos_++];
            if (quote != '"' && quote != '\'')
                return Step::Bad;
            std::string value;
            for (;;) {
                if (AtEnd())
                    return Step::Cut;
                PlainRun(value, quote);
                if (AtEnd())
                    return Step::Cut;
                const char c = in_[pos_];
                if (c == quote) {
                    ++pos_;
                    break;
                }
                if (c == '<')
                    return Step::Bad;
                if (c == '&') {
                    if ((step = Reference(value)) != Step::Ok)
                        return step;
                } else if (c == '"' || c == '\'') {
                    value += StandIns[c == '"' ? 3 : 4];
                    ++pos_;
                } else {
                    Literal(value, true);
                }
            }
            for (const auto& attribute : node.attributes)
                if (attribute.first == name)
                    return Step::Bad;
            out_ += ' ';
            out_ += name;
            out_ += "=\"";
            out_ += value;
            out_ += '"';
            node.attributes.emplace_back(std::move(name), nodes_ != nullptr ? Restore(value) : std::string());
        }
        out_ += node.empty ? "/>" : ">";
        if (!node.empty)
            open_.push_back(node.name);
        rootSeen_ = true;
        Emit(std::move(node));
        return Step::Ok;
    }

    Step CloseTag()
    {
        pos_ += 2;
        Node node;
        node.kind = Node::Kind::ElementEnd;
        const Step step = Name(node.name);
        if (step != Step::Ok)
            return step;
        if (in_[pos_] != '>')
            return Step::Bad;
        ++pos_;
        if (open_.empty() || open_.back() != node.name)
            return Step::Bad;
        open_.pop_back();
        out_ += "</";
        out_ += node.name;
        out_ += '>';
        Emit(std::move(node));
        return Step::Ok;
    }

    // Character data up to the next tag. Outside the root element only blanks may stand;
    // irrXML reports text that holds more than blanks and is followed by a tag.
    Step Text()
    {
        std::string text;
        while (!AtEnd() && in_[pos_] != '<') {
            PlainRun(text, '<');
            if (AtEnd() || in_[pos_] == '<')
                break;
            if (in_[pos_] == '&') {
                if (open_.empty())
                    return Step::Bad;
                const Step step = Reference(text);
                if (step != Step::Ok)
                    return step;
                continue;
            }
            if (in_[pos_] == '>' && pos_ >= 2 && in_[pos_ - 1] == ']' && in_[pos_ - 2] == ']')
                return Step::Bad;
            Literal(text, false);
        }
        const bool blank = std::all_of(text.begin(), text.end(), IsSpace);
        if (open_.empty())
            return blank ? Step::Ok : Step::Bad;
        out_ += text;
        if (!blank && !AtEnd() && nodes_ != nullptr)
            Emit(Node {Node::Kind::Text, Restore(text), {}, false});
        return Step::Ok;
    }

    std::string_view in_;
    std::vector<Node>* nodes_;
    size_t pos_ = 0;
    std::string out_;
    std::vector<std::string> open_;
    bool rootSeen_ = false;
};

}  // namespace

std::optional<std::string> Prepare(std::string_view answer, std::vector<Node>* nodes)
{
    if (nodes != nullptr)
        nodes->clear();
    if (answer.size() > AnswerLimit)
        return std::nullopt;
    if (answer.substr(0, 3) == "\xEF\xBB\xBF")
        answer.remove_prefix(3);
    if (!IsXmlUtf8(answer))
        return std::nullopt;
    Parser parser(answer, nodes);
    if (!parser.Run()) {
        if (nodes != nullptr)
            nodes->clear();
        return std::nullopt;
    }
    return parser.Result();
}

bool NeedsRestore(std::string_view value)
{
    return value.find_first_of(std::string_view(StandIns, sizeof StandIns)) != std::string_view::npos;
}

std::string Restore(std::string_view value)
{
    std::string result(value);
    for (char& c : result)
        for (size_t k = 0; k < sizeof StandIns; ++k)
            if (c == StandIns[k])
                c = Markup[k];
    return result;
}

}  // namespace XmlCheck
