// The directives of the script language, each with a line of help, as an
// editor shows them when completing or hovering; the sibling of the table
// of problems.
#pragma once
#include <string_view>
#include <vector>

namespace directives {

struct Directive {
    const char *name;   // ".name"
    const char *usage;  // ".name TEXT"
    const char *about;  // one line of help
};

extern const std::vector<Directive> DIRECTIVES;

const Directive *findDirective(std::string_view name);

}  // namespace directives
