#include "GS.hpp"

#include "HostBackend.hpp"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace GS {

std::u16string UTF8ToUTF16(const std::string& text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > text.size()) {
                len = 1;
            } else {
                cp = c & (0xFF >> (len + 1));
                bool ok = true;
                for (size_t k = 1; k < len; ++k) {
                    const unsigned char cc = static_cast<unsigned char>(text[i + k]);
                    if ((cc & 0xC0) != 0x80) {
                        ok = false;
                        break;
                    }
                    cp = (cp << 6) | (cc & 0x3F);
                }
                if (!ok) {
                    cp = 0xFFFD;
                    len = 1;
                }
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string UTF16ToUTF8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

UniString::UniString(const char* utf8, GSCharCode) : text_(UTF8ToUTF16(utf8 != nullptr ? utf8 : "")) {}

std::string UniString::ToUTF8() const
{
    return UTF16ToUTF8(text_);
}

namespace {
int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
}  // namespace

Guid::Guid(const char* text)
{
    if (text == nullptr)
        return;
    std::string s(text);
    if (s.size() == 38 && s.front() == '{' && s.back() == '}')
        s = s.substr(1, 36);
    if (s.size() != 36)
        return;
    std::array<unsigned char, 16> bytes {};
    size_t b = 0;
    for (size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (s[i] != '-')
                return;
            ++i;
            continue;
        }
        const int hi = HexValue(s[i]);
        const int lo = HexValue(s[i + 1]);
        if (hi < 0 || lo < 0)
            return;
        bytes[b++] = static_cast<unsigned char>(hi * 16 + lo);
        i += 2;
    }
    bytes_ = bytes;
}

Guid Guid::Generate()
{
    static std::random_device device;
    Guid g;
    for (auto& b : g.bytes_)
        b = static_cast<unsigned char>(device());
    g.bytes_[6] = static_cast<unsigned char>((g.bytes_[6] & 0x0F) | 0x40);
    g.bytes_[8] = static_cast<unsigned char>((g.bytes_[8] & 0x3F) | 0x80);
    return g;
}

bool Guid::IsNull() const
{
    return std::all_of(bytes_.begin(), bytes_.end(), [](unsigned char b) { return b == 0; });
}

UniString Guid::ToUniString() const
{
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes_[0],
                  bytes_[1], bytes_[2], bytes_[3], bytes_[4], bytes_[5], bytes_[6], bytes_[7], bytes_[8], bytes_[9],
                  bytes_[10], bytes_[11], bytes_[12], bytes_[13], bytes_[14], bytes_[15]);
    return UniString(text);
}

namespace {
class DeletingCollector final : public GarbageCollector {
public:
    void Collect(DisposableObject* object) override { delete object; }
};
DeletingCollector deletingCollector;
}  // namespace

GarbageCollector& defaultGarbageCollector = deletingCollector;

void DisposableObject::Dispose()
{
    if (DisposeHandler* handler = disposeHandler_) {
        disposeHandler_ = nullptr;
        handler->DisposeRequested(*this);
    }
    if (GarbageCollector* collector = garbageCollector_)
        collector->Collect(this);
}

}  // namespace GS

// Both can be made to run out on purpose (the host's memory faults): they then answer null and
// a block given to GS_realloc stays as it was. GS_realloc knows no block's size, so only the
// size asked for picks it.
void* GS_malloc(size_t size)
{
    if (Platform::FailMemoryCall("GS_malloc", size))
        return nullptr;
    return std::malloc(size);
}

void* GS_realloc(void* block, size_t size)
{
    if (Platform::FailMemoryCall("GS_realloc", size))
        return nullptr;
    return std::realloc(block, size);
}

void GS_free(void* block)
{
    std::free(block);
}
