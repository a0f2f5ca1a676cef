#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tallybird::cli {

// One command's words after parsing: its positional arguments in order, the
// flags given and the options with their values (by long name).
struct CommandLine {
    std::vector<std::string> positional;
    std::set<std::string> flags;
    std::map<std::string, std::string> values;

    bool Has(const std::string& name) const { return flags.contains(name); }
    std::optional<std::string> Value(const std::string& name) const {
        const auto found = values.find(name);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
};

} // namespace tallybird::cli
