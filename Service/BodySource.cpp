#include "BodySource.hpp"

#include <algorithm>
#include <array>

namespace kordela::service {

namespace {

class TextBody final : public BodySource {
public:
    explicit TextBody(std::string text) : text_(std::move(text)) {}
    std::uint64_t Size() const override { return text_.size(); }
    bool Read(std::uint64_t offset, std::size_t length, std::string& out) override
    {
        if (offset > text_.size())
            return false;
        out.append(text_, static_cast<std::size_t>(offset), length);
        return true;
    }

private:
    std::string text_;
};

class FileBody final : public BodySource {
public:
    FileBody(std::ifstream in, std::uint64_t size) : in_(std::move(in)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::size_t length, std::string& out) override
    {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - std::min(offset, size_)));
        const std::size_t start = out.size();
        out.resize(start + count);
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(out.data() + start, static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(in_.gcount()) == count;
    }

private:
    std::ifstream in_;
    std::uint64_t size_;
};

class GeneratedBody final : public BodySource {
public:
    explicit GeneratedBody(std::uint64_t size) : size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::size_t length, std::string& out) override
    {
        const std::uint64_t end = std::min<std::uint64_t>(size_, offset + length);
        if (offset >= end)
            return true;
        const std::size_t start = out.size();
        out.resize(start + static_cast<std::size_t>(end - offset));
        WriteGeneratedBytes(offset, out.data() + start, static_cast<std::size_t>(end - offset));
        return true;
    }

private:
    std::uint64_t size_;
};

}  // namespace

namespace {
constexpr std::uint64_t Period = 251;
constexpr std::uint64_t PageBytes = 4096;  // the high bits change once per page
}  // namespace

unsigned char GeneratedByte(std::uint64_t offset)
{
    // A period of 251 (prime) keeps the pattern from lining up with block sizes,
    // and the high bits make a shifted copy detectable.
    return static_cast<unsigned char>((offset % Period) ^ ((offset / PageBytes) & 0xFF));
}

void WriteGeneratedBytes(std::uint64_t offset, char* target, std::size_t count)
{
    // Within one page the bytes are a stretch of the ramp 0..250 repeated, all flipped by
    // the same page byte: a copy and a flip per page instead of one sum per byte.
    static const auto ramp = [] {
        std::array<unsigned char, Period + PageBytes> values {};
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<unsigned char>(i % Period);
        return values;
    }();
    while (count > 0) {
        const std::size_t inPage =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, PageBytes - offset % PageBytes));
        const unsigned char flip = static_cast<unsigned char>((offset / PageBytes) & 0xFF);
        const unsigned char* from = ramp.data() + offset % Period;
        for (std::size_t i = 0; i < inPage; ++i)
            target[i] = static_cast<char>(from[i] ^ flip);
        offset += inPage;
        target += inPage;
        count -= inPage;
    }
}

std::unique_ptr<BodySource> MakeTextBody(std::string text)
{
    return std::make_unique<TextBody>(std::move(text));
}

std::unique_ptr<BodySource> MakeFileBody(const std::filesystem::path& file)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return nullptr;
    const std::uint64_t size = std::filesystem::file_size(file, ec);
    if (ec)
        return nullptr;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return nullptr;
    return std::make_unique<FileBody>(std::move(in), size);
}

std::unique_ptr<BodySource> MakeGeneratedBody(std::uint64_t size)
{
    return std::make_unique<GeneratedBody>(size);
}

std::string ReadAll(BodySource& body)
{
    std::string out;
    body.Read(0, static_cast<std::size_t>(body.Size()), out);
    return out;
}

}  // namespace kordela::service
