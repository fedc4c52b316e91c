// zokc graph: the game's map as a Graphviz graph: a node per map, an edge
// per .go labelled with the option and the condition it sits under, and
// edges to the two endings for .die and .win.
#include "cli.hpp"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "maps.hpp"

#include <deque>
#include <iostream>
#include <map>
#include <set>
#include <tuple>

namespace {

const char *const HELP =
    "usage: zokc graph [DIR]\n"
    "\n"
    "Writes the map of the game in DIR (default: game) as a Graphviz graph in\n"
    "the DOT language on standard output: a box for each map (its name and the\n"
    "text of its first '.name' line), an arrow for each '.go' labelled with the\n"
    "option it sits under and the condition around it, and arrows to \"death\"\n"
    "and \"victory\" for '.die' and '.win'. 'start' has a double border, maps\n"
    "that no '.go' reaches from it are grey, and maps that are missing or\n"
    "cannot be read are red. To draw it:\n"
    "\n"
    "  zokc graph game | dot -Tsvg > map.svg\n"
    "\n"
    "  -h, --help    show this text\n"
    "\n"
    "Exit status: 0, or 2 for bad usage or a folder that cannot be read.\n";

// A DOT string: script text in caret notation, quotes and backslashes escaped.
std::string dotString(std::string_view text)
{
    std::string out = "\"";
    for (const char ch : diag::quoted(text)) {
        if (ch == '"' || ch == '\\')
            out += '\\';
        out += ch;
    }
    return out + "\"";
}

// Lines of a label, each quoted on its own and joined by DOT's line break.
std::string dotLines(const std::vector<std::string> &lines)
{
    std::string out;
    for (const std::string &line : lines) {
        const std::string quoted = dotString(line);
        out += out.empty() ? quoted.substr(0, quoted.size() - 1) : "\\n" + quoted.substr(1, quoted.size() - 2);
    }
    return out.empty() ? "\"\"" : out + "\"";
}

std::string trimmed(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return "";
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// Node names: a map's own name; for the endings names that no map or target
// can have (no map name begins with '/', and a target beginning with '/'
// gets one more).
std::string nodeName(std::string_view target)
{
    std::string name = target.starts_with('/') ? "/" : "";
    return name += target;
}
const std::string DEATH = "/death", VICTORY = "/victory";

class Graph {
public:
    explicit Graph(const zokc::MapStore &game) : game_(game) {}

    void write(std::ostream &out)
    {
        for (const zokc::Map &map : game_.listedMaps()) {
            for (const survey::Text &go : map.survey.gos)
                edges_.insert({map.name, nodeName(go.text), where(map, go.where), !game_.find(go.text)});
            for (const survey::Ending &ending : map.survey.endings)
                edges_.insert({map.name, ending.result == PARSE_DIE ? DEATH : VICTORY, where(map, ending.where), false});
        }
        out << "digraph " << dotString(game_.dir()) << " {\n"
            << "  node [shape=box];\n";
        const std::set<std::string> reached = reachable();
        std::set<std::string> missing;
        for (const zokc::Map &map : game_.listedMaps()) {
            std::vector<std::string> lines{map.name};
            if (!map.survey.names.empty())
                lines.push_back(trimmed(map.survey.names.begin()->text));
            out << "  " << dotString(map.name) << " [label=" << dotLines(lines);
            if (map.name == "start")
                out << ", peripheries=2";
            if (!map.problem.empty())
                out << ", color=red, fontcolor=red";
            else if (!reached.contains(map.name))
                out << ", color=grey, fontcolor=grey";
            out << "];\n";
        }
        bool death = false, victory = false;
        for (const Edge &edge : edges_) {
            death |= edge.to == DEATH;
            victory |= edge.to == VICTORY;
            if (edge.missing && missing.insert(edge.to).second)
                out << "  " << dotString(edge.to) << " [label=" << dotLines({edge.to.substr(edge.to.starts_with("//")), "(no such map)"})
                    << ", color=red, fontcolor=red];\n";
        }
        if (death)
            out << "  " << dotString(DEATH) << " [label=\"death\", shape=ellipse];\n";
        if (victory)
            out << "  " << dotString(VICTORY) << " [label=\"victory\", shape=ellipse];\n";
        for (const Edge &edge : edges_) {
            out << "  " << dotString(edge.from) << " -> " << dotString(edge.to);
            std::vector<std::string> attributes;
            if (!edge.label.empty())
                attributes.push_back("label=" + dotLines(edge.label));
            if (edge.missing)
                attributes.push_back("color=red");
            for (size_t i = 0; i < attributes.size(); i++)
                out << (i == 0 ? " [" : ", ") << attributes[i];
            out << (attributes.empty() ? ";\n" : "];\n");
        }
        out << "}\n";
    }

private:
    struct Edge {
        std::string from, to;
        std::vector<std::string> label;
        bool missing;
        auto operator<=>(const Edge &) const = default;
    };

    // The option a .go or ending sits under and the condition around it (or
    // around its option).
    std::vector<std::string> where(const zokc::Map &map, const survey::Where &at) const
    {
        std::vector<std::string> lines;
        survey::Where branch = at;
        if (at.option != NO_POS) {
            for (const survey::Text &label : map.survey.labels) {
                if (label.start != at.option)
                    continue;
                lines.push_back(trimmed(label.text));
                if (branch.branch == Directive::Fi)
                    branch = label.where;
                break;
            }
        }
        if (branch.branch == Directive::Else) {
            lines.push_back("else");
        } else if (branch.branch == Directive::If || branch.branch == Directive::Elif) {
            for (const survey::Text &condition : map.survey.conditions) {
                if (condition.start == branch.branchAt + 1) {
                    lines.push_back((branch.branch == Directive::If ? "if " : "elif ") + condition.text);
                    break;
                }
            }
        }
        return lines;
    }

    std::set<std::string> reachable() const
    {
        std::set<std::string> reached;
        std::deque<std::string> next;
        if (game_.find("start"))
            next.push_back("start"), reached.insert("start");
        while (!next.empty()) {
            const std::string name = next.front();
            next.pop_front();
            // The edges are ordered by the map they leave first.
            for (auto edge = edges_.lower_bound(Edge{name, {}, {}, false});
                 edge != edges_.end() && edge->from == name; ++edge)
                if (game_.find(edge->to) && reached.insert(edge->to).second)
                    next.push_back(edge->to);
        }
        return reached;
    }

    const zokc::MapStore &game_;
    std::set<Edge> edges_;
};

}  // namespace

int graphCommand(int argc, char **argv)
{
    cli::Args args(argc, argv, HELP);
    while (args.more())
        args.folder();
    const std::string dir = args.dir();
    const zokc::MapStore game(dir);
    if (!game.readable())
        throw cli::Exit{cli::EXIT_USAGE, "cannot read the game folder '" + dir + "'"};
    Graph(game).write(std::cout);
    return cli::EXIT_OK;
}
