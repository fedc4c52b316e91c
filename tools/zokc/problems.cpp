// The table of problems, and the -W options it answers.
#include "problems.hpp"

#include "cli.hpp"

#include <algorithm>
#include <cassert>
#include <utility>

namespace problems {

namespace {

using diag::Severity;
constexpr uint8_t PLAY = EXPLORE | RANDOM;
constexpr uint8_t ALL = CHECK | EXPLORE | RANDOM;

const Kind KINDS[] = {
    {"ending", Severity::Note, PLAY, "a '.die' or '.win' play reaches, and how often"},
    {"unreadable-map", Severity::Error, CHECK, "a map file that is not a regular file or cannot be read"},
    {"no-start", Severity::Error, CHECK, "no map 'start', where play begins"},
    {"missing-map", Severity::Error, ALL, "a '.go' to a map that has no file or cannot be loaded"},
    {"unclosed-desc", Severity::Error, CHECK, "a '.desc' without its '.dend'"},
    {"unclosed-option", Severity::Error, CHECK, "an option without its '.tpo'"},
    {"unclosed-list", Severity::Error, CHECK, "a '.list' without its '.lend'"},
    {"no-newline", Severity::Error, CHECK, "a directive on the last line that needs the newline it lacks"},
    {"carriage-return", Severity::Error, CHECK, "a carriage return (CR-LF line ends) that hides a directive"},
    {"never-waits", Severity::Error, CHECK, "a map that never waits for a key, ends the game or moves on"},
    {"idle", Severity::Error, PLAY, "a map that runs again and again without waiting for a key"},
    {"dead-end", Severity::Error, EXPLORE, "a choice after which no ending can be reached"},
    {"unwinnable", Severity::Error, EXPLORE, "a game with a '.win' that no way through play reaches"},
    {"lost-cause", Severity::Warning, EXPLORE, "a choice after which the game can no longer be won"},
    {"unknown-directive", Severity::Warning, CHECK, "a word starting with '.' that is no directive where it stands"},
    {"top-level-text", Severity::Warning, CHECK, "text outside a description, which is ignored"},
    {"else-trailing", Severity::Warning, CHECK, "'.else' or '.fi' with blanks or text after it"},
    {"unclosed-if", Severity::Warning, CHECK, "an '.if' whose skip runs past where it should stop"},
    {"stray-else", Severity::Warning, CHECK, "'.elif', '.else' or '.fi' with no '.if' open"},
    {"nested-if", Severity::Warning, CHECK, "an '.if' inside an open block (blocks do not nest)"},
    {"cond-in-option", Severity::Warning, CHECK, "'.elif', '.else' or '.fi' in the body of an option inside a block"},
    {"cond-in-text", Severity::Warning, CHECK, "a condition inside a description"},
    {"option-trap", Severity::Warning, CHECK, "a body line beginning with '.opt', which counts as a nested option"},
    {"statement-in-text", Severity::Warning, CHECK, "a statement in a description or between options"},
    {"elif-after-else", Severity::Warning, CHECK, "an '.elif' after the '.else' of its block, never tested"},
    {"option-outside-list", Severity::Warning, CHECK, "'.opt' or '.tpo' outside a list, where the body is script"},
    {"directive-case", Severity::Warning, CHECK, "a directive written in the wrong case, such as '.Name'"},
    {"byte-order-mark", Severity::Warning, CHECK, "a byte-order mark at the start of a map, hiding its first line"},
    {"loop-spreads", Severity::Warning, CHECK, "a list that loops because an earlier list had '.loop'"},
    {"unset-variable", Severity::Warning, CHECK, "a variable tested but set in no map"},
    {"unused-variable", Severity::Warning, CHECK, "a variable set but tested in no map"},
    {"tab-in-set", Severity::Warning, CHECK, "a tab in '.set', which becomes part of the name"},
    {"set-arithmetic", Severity::Warning, CHECK, "'.set' with '=' or arithmetic in the name, which names a variable"},
    {"set-value", Severity::Warning, CHECK, "'.set' whose value is not a number, which sets 0"},
    {"condition-operator", Severity::Warning, CHECK, "a condition with an operator conditions do not have"},
    {"mixed-condition", Severity::Warning, CHECK, "a condition with both '&' and '=' (only the first counts)"},
    {"unreachable-map", Severity::Warning, CHECK, "a map that no '.go' reaches from 'start'"},
    {"tall-description", Severity::Warning, ALL, "a description taller than the rows a player reads at once on the standard terminal"},
    {"wide-label", Severity::Warning, CHECK, "an option label wider than the options pane of the standard terminal"},
    {"unseen-text", Severity::Warning, ALL, "a name line or description replaced before the player can read it"},
    {"control-byte", Severity::Warning, CHECK, "a control byte in a name line, description or label, shown as ^X"},
    {"nul-byte", Severity::Warning, CHECK, "a zero byte, after which the map is ignored"},
    {"not-utf8", Severity::Warning, CHECK, "bytes that are not UTF-8"},
    {"go-outside", Severity::Warning, CHECK, "a '.go' target whose '..' climbs out of the game folder"},
    {"never-reached", Severity::Warning, PLAY, "a map play never comes to"},
    {"never-offered", Severity::Warning, PLAY, "an option no menu ever offers"},
    {"never-run", Severity::Warning, ALL, "lines that no way through the map runs"},
    {"too-deep", Severity::Warning, ALL, "option bodies nested deeper than zok plays them, which ends the game"},
    {"too-many-paths", Severity::Warning, CHECK, "a map with too many combinations of branches to check them all"},
};

}  // namespace

std::span<const Kind> kinds()
{
    return KINDS;
}

const Kind *find(std::string_view name)
{
    const auto found = std::ranges::find(KINDS, name, [](const Kind &kind) { return std::string_view(kind.name); });
    return found == std::end(KINDS) ? nullptr : found;
}

diag::Severity severity(std::string_view name)
{
    const Kind *kind = find(name);
    assert(kind && "every kind reported is in the table");
    return kind ? kind->severity : Severity::Error;
}

std::string optionsHelp(size_t width)
{
    std::string text;
    for (const auto &[option, about] : {std::pair{"-Werror", "count warnings as errors"},
                                        {"-Wno-NAME", "report no problems of the kind NAME (-WNAME: do again)"},
                                        {"-h, --help", "show this text"}}) {
        std::string line = std::string("  ") + option;
        line.resize(std::max(width, line.size() + 1), ' ');
        text += line + about + "\n";
    }
    return text;
}

std::string helpList(Command command)
{
    static const char *const SEVERITIES[] = {"note     ", "warning  ", "error    "};
    std::string text;
    for (const Kind &kind : KINDS) {
        if (!(kind.commands & command))
            continue;
        std::string name = kind.name;
        name.resize(std::max<size_t>(name.size() + 1, 18), ' ');
        text += "  " + name + SEVERITIES[static_cast<int>(kind.severity)] + kind.about + "\n";
    }
    return text;
}

void Filter::take(std::string_view option)
{
    if (option == "error" || option == "no-error") {
        warningsAreErrors_ = option == "error";
        return;
    }
    const bool off = option.starts_with("no-");
    if (off)
        option.remove_prefix(3);
    if (!find(option))
        cli::usage("no kind of problem is called '" + std::string(option) + "'");
    if (off)
        silenced_.emplace(option);
    else if (const auto found = silenced_.find(option); found != silenced_.end())
        silenced_.erase(found);
}

void Filter::apply(std::vector<diag::Diagnostic> &found) const
{
    std::erase_if(found, [&](const diag::Diagnostic &d) { return silenced_.contains(d.kind); });
    if (warningsAreErrors_)
        for (diag::Diagnostic &d : found)
            if (d.severity == Severity::Warning)
                d.severity = Severity::Error;
}

}  // namespace problems
