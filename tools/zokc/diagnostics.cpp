// Diagnostics: placing a byte offset on its line and column, quoting script
// text safely, sorting and printing the report.
#include "diagnostics.hpp"

#include "plain.hpp"

#include <algorithm>
#include <ostream>
#include <tuple>

namespace diag {

LineIndex::LineIndex(std::string_view text)
{
    starts_.push_back(0);
    for (uint32_t i = 0; i < text.size(); i++)
        if (text[i] == '\n')
            starts_.push_back(i + 1);
}

uint32_t LineIndex::lineStart(uint32_t offset) const
{
    return *(std::upper_bound(starts_.begin(), starts_.end(), offset) - 1);
}

LineCol LineIndex::at(uint32_t offset) const
{
    const auto line = std::upper_bound(starts_.begin(), starts_.end(), offset) - 1;
    return {static_cast<uint32_t>(line - starts_.begin()) + 1, offset - *line + 1};
}

namespace {

// The length of the UTF-8 character text starts with, or 0 when it does not
// start with a well-formed one.
size_t utf8Length(std::string_view text)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the range of the byte after the lead
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; i++)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

}  // namespace

size_t firstNonUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8Length(text.substr(i));
        if (length == 0)
            return i;
        i += length;
    }
    return std::string_view::npos;
}

std::string quoted(std::string_view text)
{
    std::string carets;
    for (const char ch : text) {
        if (ch == '\t')
            carets += "^I";
        else if (ch == '\n')
            carets += "^J";
        else
            carets += ch;
    }
    const std::string shown = plain::visible(carets);
    std::string out;
    static const char HEX[] = "0123456789ABCDEF";
    for (size_t i = 0; i < shown.size();) {
        const std::string_view rest = std::string_view(shown).substr(i);
        size_t length = utf8Length(rest);
        // U+0080 to U+009F are the C1 controls, which some terminals obey.
        if (length == 2 && static_cast<unsigned char>(rest[0]) == 0xC2 && static_cast<unsigned char>(rest[1]) < 0xA0)
            length = 0;
        if (length == 0) {
            const auto byte = static_cast<unsigned char>(rest[0]);
            out += "\\x";
            out += HEX[byte >> 4];
            out += HEX[byte & 15];
            i++;
        } else {
            out += rest.substr(0, length);
            i += length;
        }
    }
    return out;
}

void sortDiagnostics(std::vector<Diagnostic> &diagnostics)
{
    auto key = [](const Diagnostic &d) { return std::tie(d.file, d.line, d.col, d.message, d.kind); };
    std::sort(diagnostics.begin(), diagnostics.end(),
              [&](const Diagnostic &a, const Diagnostic &b) { return key(a) < key(b); });
    diagnostics.erase(std::unique(diagnostics.begin(), diagnostics.end(),
                                  [&](const Diagnostic &a, const Diagnostic &b) { return key(a) == key(b); }),
                      diagnostics.end());
}

void printDiagnostic(std::ostream &out, const Diagnostic &d)
{
    out << quoted(d.file);
    if (d.line > 0)
        out << ':' << d.line << ':' << d.col;
    out << (d.severity == Severity::Error ? ": error: " : ": warning: ") << d.message << " [-W" << d.kind << "]\n";
}

std::string summary(size_t errors, size_t warnings, size_t maps)
{
    auto count = [](size_t n, const char *one, const char *many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    return count(errors, "error", "errors") + " and " + count(warnings, "warning", "warnings") + " in " +
           count(maps, "map", "maps");
}

}  // namespace diag
