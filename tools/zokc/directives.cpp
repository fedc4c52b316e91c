#include "directives.hpp"

namespace directives {

const std::vector<Directive> DIRECTIVES = {
    {".name", ".name TEXT", "shows the rest of the line in the name pane at the top"},
    {".desc", ".desc", "starts a description: the lines up to '.dend' are shown in the description pane"},
    {".dend", ".dend", "ends a description and shows it (after a <continue> prompt if one is waiting)"},
    {".list", ".list", "starts a menu of options, closed by '.lend'"},
    {".opt", ".opt LABEL", "an option: the label on its line, its body up to '.tpo'"},
    {".tpo", ".tpo", "ends an option's body"},
    {".loop", ".loop", "inside a list: show the menu again after each chosen body, until '.break' or '.go'"},
    {".lend", ".lend", "ends a list and shows its menu"},
    {".go", ".go MAP", "moves to the map MAP (its file MAP.zok) after a <continue> prompt"},
    {".set", ".set NAME [NUMBER]", "sets the variable NAME to NUMBER, or to 1 without one"},
    {".break", ".break", "ends the option's body and stops a looping menu; at the map's top, ends this pass"},
    {".exit", ".exit", "starts this map again at once, without a prompt"},
    {".die", ".die", "ends the game: \"It seems you've kicked the bucket ...\""},
    {".win", ".win", "ends the game: \"Congratulations, victory is yours!\""},
    {".if", ".if CONDITION", "runs the lines up to '.elif', '.else' or '.fi' when CONDITION (NAME, A&B&C or NAME=NUMBER) holds"},
    {".elif", ".elif CONDITION", "the next branch of an '.if' block, run when no branch before it ran and CONDITION holds"},
    {".else", ".else", "the last branch of an '.if' block, run when no branch before it ran"},
    {".fi", ".fi", "ends an '.if' block"},
};

const Directive *findDirective(std::string_view name)
{
    for (const Directive &directive : DIRECTIVES)
        if (name == directive.name)
            return &directive;
    return nullptr;
}

}  // namespace directives
