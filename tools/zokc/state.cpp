// Reading and restoring the variable table.
#include "state.hpp"

#include "VarTable.hpp"

#include <algorithm>

namespace zokc {

uint32_t VarNames::id(std::string_view name)
{
    if (const auto found = ids_.find(name); found != ids_.end())
        return found->second;
    const auto id = static_cast<uint32_t>(names_.size());
    names_.emplace_back(name);
    ids_.emplace(names_.back(), id);
    return id;
}

void readVariables(VarNames &names, std::vector<VarValue> &out)
{
    out.clear();
    const VarTable *table = global_variables;
    for (int32_t bucket = 0; bucket < table->size; bucket++)
        for (const Var *var = table->buckets[bucket]; var; var = var->next)
            if (var->value != 0)
                out.push_back({names.id(var->name), var->value});
    std::sort(out.begin(), out.end(), [](const VarValue &a, const VarValue &b) { return a.name < b.name; });
}

void writeVariables(const VarNames &names, std::span<const VarValue> values)
{
    // Zeroing keeps the records, so restoring a state allocates nothing
    // once every name has been seen.
    VarTable *table = global_variables;
    for (int32_t bucket = 0; bucket < table->size; bucket++)
        for (Var *var = table->buckets[bucket]; var; var = var->next)
            var->value = 0;
    for (const VarValue &var : values)
        setVar(table, names.name(var.name).c_str(), var.value);
}

std::string describeVariables(const VarNames &names, std::span<const VarValue> values)
{
    std::vector<std::pair<std::string_view, int32_t>> sorted;
    for (const VarValue &var : values)
        sorted.emplace_back(names.name(var.name), var.value);
    std::sort(sorted.begin(), sorted.end());
    if (sorted.empty())
        return "no variable set";
    std::string text;
    for (const auto &[name, value] : sorted)
        text += (text.empty() ? "" : ", ") + std::string(name) + "=" + std::to_string(value);
    return text;
}

}  // namespace zokc
