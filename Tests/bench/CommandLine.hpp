// The benchmarks' command lines: --help, and options that take one value each. An unknown
// option or a missing or malformed value ends the program before it measures anything, with
// the problem and the usage on standard error and exit code 2.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Reads an option's value into the program's settings; answers what is wrong with the value,
// or nothing.
using ReadValue = std::function<std::string(const std::string& value)>;

inline std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

// The whole of `text` as a whole number of at least `least`.
inline std::optional<int> WholeNumber(const std::string& text, int least)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < least)
        return std::nullopt;
    return value;
}

// The items of a comma-separated list, none of them empty.
inline std::optional<std::vector<std::string>> ListItems(const std::string& text)
{
    std::vector<std::string> items;
    for (size_t at = 0;;) {
        const size_t comma = std::min(text.find(',', at), text.size());
        items.push_back(text.substr(at, comma - at));
        if (items.back().empty())
            return std::nullopt;
        if (comma == text.size())
            return items;
        at = comma + 1;
    }
}

inline ReadValue Count(int& into, int least)
{
    return [&into, least](const std::string& value) -> std::string {
        const auto number = WholeNumber(value, least);
        if (!number)
            return Quoted(value) + " is not a whole number of at least " + std::to_string(least);
        into = *number;
        return {};
    };
}

// A list whose items `read` takes one by one; the list replaces `into`'s default.
template <typename Item>
ReadValue List(std::vector<Item>& into, std::function<std::string(const std::string&, Item&)> read)
{
    return [&into, read](const std::string& value) -> std::string {
        const auto items = ListItems(value);
        if (!items)
            return Quoted(value) + " has an empty item";
        std::vector<Item> list(items->size());
        for (size_t i = 0; i < items->size(); ++i)
            if (std::string problem = read((*items)[i], list[i]); !problem.empty())
                return problem;
        into = std::move(list);
        return {};
    };
}

inline ReadValue Counts(std::vector<int>& into, int least)
{
    return List<int>(into, [least](const std::string& item, int& number) { return Count(number, least)(item); });
}

class CommandLine {
public:
    // `usage` follows "usage: <program> " and may run over several lines.
    CommandLine(std::string program, std::string usage)
        : program_(std::move(program)), usage_("usage: " + program_ + " " + std::move(usage))
    {}

    void Add(std::string name, ReadValue read) { options_.emplace_back(std::move(name), std::move(read)); }

    // Answers the exit code to end with at once (0 after --help, 2 after a bad command line),
    // or nothing when the program goes on.
    std::optional<int> Read(int argc, char** argv) const
    {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::fputs(usage_.c_str(), stdout);
                return 0;
            }
            const auto option = std::find_if(options_.begin(), options_.end(),
                                             [&arg](const Option& candidate) { return candidate.first == arg; });
            if (option == options_.end())
                return Refuse((arg.rfind('-', 0) == 0 ? "unknown option " : "unexpected argument ") + Quoted(arg));
            if (i + 1 == argc)
                return Refuse(arg + " needs a value");
            if (const std::string problem = option->second(argv[++i]); !problem.empty())
                return Refuse(arg + ": " + problem);
        }
        return std::nullopt;
    }

    // A command line that is wrong as a whole: the problem and the usage; answers the exit code.
    int Refuse(const std::string& problem) const
    {
        std::fprintf(stderr, "%s: %s\n%s", program_.c_str(), problem.c_str(), usage_.c_str());
        return 2;
    }

private:
    using Option = std::pair<std::string, ReadValue>;
    std::string program_;
    std::string usage_;
    std::vector<Option> options_;
};

}  // namespace bench
