// The variables of a game in play as plain numbers: taken from the variable
// table and put back, so that a state of play can be kept, compared and
// restored.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zokc {

// Variable names as small numbers.
class VarNames {
public:
    uint32_t id(std::string_view name);
    const std::string &name(uint32_t id) const { return names_[id]; }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::vector<std::string> names_;
    std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>> ids_;
};

struct VarValue {
    uint32_t name;
    int32_t value;
};

// The variables that are not 0, by name id. A name never set reads as 0,
// so a variable set to 0 behaves as one never set and is left out.
void readVariables(VarNames &names, std::vector<VarValue> &out);

// Makes the variable table hold exactly these values; every other name
// reads as 0.
void writeVariables(const VarNames &names, std::span<const VarValue> values);

// "key=1, lamp=1" (sorted by name), or "no variable set".
std::string describeVariables(const VarNames &names, std::span<const VarValue> values);

}  // namespace zokc
