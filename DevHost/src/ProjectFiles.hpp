// What the project's files share: the part-file format and its containers, the parameter
// list in its three forms (JSON, host records, description), and the texts of the records.
#pragma once

#include "DevHost/Host.hpp"
#include "DevHost/Project.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace DevHost {

std::string GuidText(const API_Guid& guid);
// Unique ids are "{main}-{revision}"; a part descends from another by the main GUID.
std::string MainId(const std::string& unID);
// Letters in lower case, as the host's case-insensitive comparison of C strings sees them.
std::string FoldedId(const std::string& id);

// Copies UTF-8 text into a fixed UTF-16 field, cut to fit with its NUL.
template <size_t N>
void PutText(char16_t (&field)[N], const std::u16string& text)
{
    const size_t n = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), n, field);
    field[n] = 0;
}

template <size_t N>
size_t TextLength(const char16_t (&field)[N])
{
    size_t n = 0;
    while (n < N && field[n] != 0)
        ++n;
    return n;
}

template <size_t N>
std::u16string GetText(const char16_t (&field)[N])
{
    return std::u16string(field, TextLength(field));
}

template <size_t N>
void AssignText(std::u16string& text, const char16_t (&field)[N])
{
    text.assign(field, TextLength(field));
}

template <size_t N>
std::string GetCText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

std::vector<Parameter> ParametersFromJson(const nlohmann::json& list);
nlohmann::json ParametersToJson(const std::vector<Parameter>& params);

// A part file's library part; throws why it cannot be read.
LibraryPartData ReadPartFile(const std::string& file);
bool IsContainerName(const std::filesystem::path& path);
// The parts a library container holds, in entry order; entries that are no parts of this
// host are skipped with a note.
std::vector<LibraryPartData> ReadContainer(const std::string& container, const Project::Log& log);
// Writes the part back to its file; throws why it cannot.
void WritePartFile(const LibraryPartData& part);

API_ElemTypeID ElementTypeFromJson(const nlohmann::json& j);
const std::string& PartName(const LibraryPartData* part);

}  // namespace DevHost
