#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace kordela::service {

// The bytes of one answer, read piece by piece so that large downloads are
// streamed instead of held in memory.
class BodySource {
public:
    virtual ~BodySource() = default;
    virtual std::uint64_t Size() const = 0;
    // Appends up to length bytes from offset to out; false on a read error.
    virtual bool Read(std::uint64_t offset, std::size_t length, std::string& out) = 0;
};

std::unique_ptr<BodySource> MakeTextBody(std::string text);
// Null when the file cannot be opened.
std::unique_ptr<BodySource> MakeFileBody(const std::filesystem::path& file);
std::unique_ptr<BodySource> MakeGeneratedBody(std::uint64_t size);

// The byte at a position of a generated file: deterministic, so that a client
// can check what it received without a copy of the file.
unsigned char GeneratedByte(std::uint64_t offset);

// Reads a whole body into memory (for the transformations that need it all).
std::string ReadAll(BodySource& body);

}  // namespace kordela::service
