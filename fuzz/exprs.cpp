// Assignment texts, condition texts and explodeString against a plain model.
// The input is pieces split at zero bytes; a piece's first byte says what
// the rest is, by its value mod 3: 'i' (0) a condition, 's' (1) an
// assignment, 'e' (2) a separator byte and a text to split.
#include "VarTable.hpp"
#include "Word.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> split(const std::string &text, char sep)
{
    std::vector<std::string> pieces(1);
    for (const char ch : text)
        ch == sep ? void(pieces.emplace_back()) : pieces.back().push_back(ch);
    return pieces;
}

// atoi up to the first newline, held at the 32-bit limits.
int32_t number(std::string text)
{
    text = text.substr(0, text.find('\n'));
    size_t i = std::min(text.find_first_not_of(" \t\r\v\f"), text.size());
    const bool negative = i < text.size() && text[i] == '-';
    i += i < text.size() && (text[i] == '-' || text[i] == '+');
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 40);
    return static_cast<int32_t>(std::clamp<int64_t>(negative ? -value : value, INT32_MIN, INT32_MAX));
}

using Vars = std::map<std::string, int32_t>;

int32_t assign(Vars &vars, const std::string &text)
{
    const size_t end = text.find_first_of(" \n");
    return vars[text.substr(0, end)] = end != std::string::npos && text[end] == ' ' ? number(text.substr(end + 1)) : 1;
}

int32_t check(const Vars &vars, const std::string &text)
{
    const auto get = [&](const std::string &name) { return vars.contains(name) ? vars.at(name) : 0; };
    const size_t op = text.find_first_of("&=");
    if (op == std::string::npos)
        return get(text);
    const std::vector<std::string> pieces = split(text, text[op]);
    if (text[op] == '=')
        return get(pieces[0]) == number(pieces[1]);
    uint32_t sum = 0;  // wraps, as 32-bit sums do
    for (const std::string &piece : pieces)
        sum += static_cast<uint32_t>(get(piece));
    return sum == pieces.size();
}

void same(bool agree)
{
    if (!agree)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    VarTable *table = newVarTable(8);
    Vars model;
    for (const std::string &piece : split(std::string(reinterpret_cast<const char *>(data), size), '\0')) {
        const std::string text = piece.empty() ? "" : piece.substr(1);
        const int kind = piece.empty() ? -1 : static_cast<unsigned char>(piece[0]) % 3;
        if (kind == 0)
            same(checkVar(table, text.c_str()) == check(model, text));
        else if (kind == 1)
            same(interpVar(table, text.c_str()) == assign(model, text));
        if (kind != 2 || text.empty())
            continue;
        WordList *list = newWordList(8);
        explodeString(list, text[0], text.c_str() + 1);
        for (const std::string &want : split(text.substr(1), text[0])) {
            const Word *word = readWordList(list);
            same(word && word->length == want.size() && word->capacity == want.size() + 1 &&
                 memcmp(word->text, want.c_str(), want.size() + 1) == 0);
        }
        same(readWordList(list) == nullptr);
        freeWordList(list);
    }
    for (const auto &[name, value] : model)
        same(getVar(table, name.c_str()) == value);
    freeVarTable(table);
    return 0;
}
