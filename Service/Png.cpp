#include "Png.hpp"

#include <zlib.h>

#include <vector>

namespace kordela::service {

namespace {

void AppendBigEndian(std::string& out, std::uint32_t value)
{
    out += static_cast<char>((value >> 24) & 0xFF);
    out += static_cast<char>((value >> 16) & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

void AppendChunk(std::string& out, const char* type, const std::string& data)
{
    AppendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    const auto crc = crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    AppendBigEndian(out, static_cast<std::uint32_t>(crc));
}

std::string Header(int size)
{
    std::string ihdr;
    AppendBigEndian(ihdr, static_cast<std::uint32_t>(size));
    AppendBigEndian(ihdr, static_cast<std::uint32_t>(size));
    ihdr += '\x08';  // bit depth
    ihdr += '\x02';  // colour type RGB
    ihdr += '\0';    // deflate
    ihdr += '\0';    // adaptive filtering
    ihdr += '\0';    // no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", ihdr);
    return png;
}

}  // namespace

std::string MakeLogoPng(std::uint32_t rgb, int size)
{
    std::string raw;
    for (int y = 0; y < size; ++y) {
        raw += '\0';  // filter type none
        for (int x = 0; x < size; ++x) {
            const bool frame = (x == 6 || x == size - 7 || y == 6 || y == size - 7) && x >= 6 && x <= size - 7 &&
                               y >= 6 && y <= size - 7;
            raw += static_cast<char>(frame ? 0xFF : (rgb >> 16) & 0xFF);
            raw += static_cast<char>(frame ? 0xFF : (rgb >> 8) & 0xFF);
            raw += static_cast<char>(frame ? 0xFF : rgb & 0xFF);
        }
    }
    uLongf compressedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<Bytef> compressed(compressedSize);
    compress2(compressed.data(), &compressedSize, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION);
    std::string png = Header(size);
    AppendChunk(png, "IDAT", std::string(reinterpret_cast<const char*>(compressed.data()), compressedSize));
    AppendChunk(png, "IEND", "");
    return png;
}

std::string MakeBrokenPng()
{
    // A valid signature and header, then image data that is not a deflate stream.
    std::string png = Header(48);
    AppendChunk(png, "IDAT", "this is not compressed image data");
    AppendChunk(png, "IEND", "");
    return png;
}

}  // namespace kordela::service
