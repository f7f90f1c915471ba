#include "cli/BashCompletion.h"

#include <map>
#include <set>
#include <vector>

#include "cli/Args.h"
#include "cli/Commands.h"

namespace cli {
namespace {

// The kinds of a selection, as list gives them and --device reads them.
const char kSelectionKinds[] = "path: place: serial:";

std::string Long(const Option& o)
{
    return std::string("--") + o.longName;
}

// The words Tab offers for an option: "--wait --wait=" for a value that may
// follow "=", "--device=" where the help writes one, "--progress=json" for
// its one word.
std::string Offered(const Option& o)
{
    std::string words = o.shortName != '\0' ? std::string("-") + o.shortName + " " : std::string();
    if (o.kind == ValueKind::kWord)
        return words + Long(o) + o.valueName;
    if (o.valueName != nullptr && o.valueName[0] == '[')
        return words + Long(o) + " " + Long(o) + "=";
    if (o.valueName != nullptr && o.valueName[0] == '=')
        return words + Long(o) + "=";
    return words + Long(o);
}

// What completes an option's value: file names (of those that end in
// SUFFIX), words, or nothing ("text": the user's own).
std::string ValueCompletion(const Option& o)
{
    switch (o.kind) {
    case ValueKind::kNone:
        return {};
    case ValueKind::kText:
    case ValueKind::kNumber:
        return "text";
    case ValueKind::kWord:
        return std::string("words ") + (o.valueName + 1);
    case ValueKind::kSelection:
        return std::string("words ") + kSelectionKinds;
    case ValueKind::kReadPath:
        return o.suffix != nullptr ? std::string("files ") + o.suffix : std::string("files");
    case ValueKind::kWritePath:
        return "files";
    }
    return {};
}

std::string Quoted(const std::string& words)
{
    return "'" + words + "'";
}

std::string Case(const std::string& function, const std::string& about, const std::string& arms,
                 const std::string& otherwise)
{
    return "\n" + about + function + "()\n{\n    case $1 in\n" + arms + "    *) " + otherwise + " ;;\n    esac\n}\n";
}

}  // namespace

bool BashCompletionTable(std::string* text, std::string* error)
{
    std::string tool;
    for (const Command& c : AllCommands())
        tool += std::string(c.name) + " ";
    for (const Option& o : kToolOptions)
        tool += Offered(o) + " ";
    tool.pop_back();

    std::string commands, refused, values;
    std::map<char, std::string> shortNames;
    for (const Command& c : AllCommands()) {
        const std::string name = c.name;
        std::string offered;
        for (const Option& o : ShownOptions(c))
            offered += (offered.empty() ? "" : " ") + Offered(o);
        commands +=
            "    " + name + ") options=" + Quoted(offered) + " files=" + (c.files != 0 ? kFileSuffix : "''") + " ;;\n";

        const std::vector<Option> options = OptionsOf(c);
        std::map<std::string, std::set<std::string>> apart;
        for (const Relation& r : RelationsOf(c)) {
            if (!Refuses(r.bond))
                continue;
            apart[std::string("--") + r.option].insert(std::string("--") + r.other);
            apart[std::string("--") + r.other].insert(std::string("--") + r.option);
        }
        for (const auto& [option, others] : apart) {
            std::string words;
            for (const std::string& o : others)
                words += (words.empty() ? "" : " ") + o;
            refused += "    '" + name + " " + option + "') REPLY=" + Quoted(words) + " ;;\n";
        }

        for (const Option& o : options) {
            if (o.shortName != '\0') {
                auto [at, added] = shortNames.emplace(o.shortName, Long(o));
                if (!added && at->second != Long(o)) {
                    *error = std::string("-") + o.shortName + " is both " + at->second + " and " + Long(o);
                    return false;
                }
            }
            const std::string completes = ValueCompletion(o);
            if (completes.empty())
                continue;
            // A value after "=" always; as the next word unless it is one that may be left out.
            std::string keys = "'" + name + " " + Long(o) + "='";
            if (o.valueName[0] != '[') {
                keys += " | '" + name + " " + Long(o) + "'";
                if (o.shortName != '\0')
                    keys += std::string(" | '") + name + " -" + o.shortName + "'";
            }
            values += "    " + keys + ") REPLY=" + Quoted(completes) + " ;;\n";
        }
    }
    std::string longNames;
    for (const auto& [letter, name] : shortNames)
        longNames += std::string("    -") + letter + ") REPLY=" + name + " ;;\n";

    *text = "# From the command table (cli/Commands.cpp), written by tolvanex-cli-completion.\n"
            "_tolvanex_cli_tool=" +
            Quoted(tool) + "\n" +
            Case("_tolvanex_cli_command",
                 "# _tolvanex_cli_command NAME: in `options`, the words Tab offers for its options; in `files`, the\n"
                 "# ending of its FILE's names, empty when it takes none. False for no such command.\n",
                 commands, "return 1") +
            Case("_tolvanex_cli_long", "# _tolvanex_cli_long -X: in REPLY, the long name of a short option.\n",
                 longNames, "REPLY=$1") +
            Case("_tolvanex_cli_refused",
                 "# _tolvanex_cli_refused 'COMMAND --OPTION': in REPLY, the options the tool refuses beside it.\n",
                 refused, "REPLY=''") +
            Case("_tolvanex_cli_value",
                 "# _tolvanex_cli_value 'COMMAND KEY': in REPLY, what completes the value of an option, KEY being\n"
                 "# the option and \"=\" (--device=) or the option as the word before (--log): \"files [SUFFIX]\",\n"
                 "# \"words WORD...\", \"text\" (the user's own), or nothing when KEY takes no value so.\n",
                 values, "REPLY=''");
    return true;
}

}  // namespace cli
