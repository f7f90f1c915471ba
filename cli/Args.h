#pragma once
// A table-driven parser of command-line options.

#include <map>
#include <string>
#include <vector>

namespace cli {

// What an option's value is: the parser, the help, the bash completion and
// the tests over every path the tool opens all read it from here.
enum class ValueKind {
    kNone,       // a flag
    kText,       // any word (a version)
    kNumber,     // a count, checked by the command
    kWord,       // one fixed word, valueName's after "=" ("=json"), and no other
    kSelection,  // a controller as list gives it: KIND:VALUE
    kReadPath,   // a file the command reads
    kWritePath,  // a file the command writes or appends to
};

// One option of a command line: "-o VALUE", "--output VALUE", "--output=VALUE",
// or a flag such as "-v".
struct Option {
    char shortName;         // '\0' for none
    const char* longName;   // without the dashes
    const char* valueName;  // null for a flag; "NAME": a value, after "=" or as the next word;
                            // "=NAME": the same, shown as "--name=NAME" in the help;
                            // "[=NAME]": a value that may follow "=", or not;
                            // "=word" with kWord: that one value and no other
    const char* help;
    ValueKind kind = ValueKind::kNone;
    const char* suffix = nullptr;  // kReadPath: the ending of the files it names ("json"), for the completion
};

// How one option of a command bears on another. A line that breaks it is a
// usage error in the words of its bond; both sides are long names.
enum class Bond {
    kApart,     // "--A y --B no van juntas"
    kNotWith,   // "--A no va con --B": refused beside it, said of A
    kNeeds,     // "--A necesita --B=VALUE"
    kOnlyWith,  // "--A va con --B=VALUE": nothing to act on without it
};

struct Relation {
    const char* option;
    Bond bond;
    const char* other;
    const char* note = nullptr;  // said after, in brackets
};

// Whether `bond` refuses the two options together (the others ask for the second).
constexpr bool Refuses(Bond bond)
{
    return bond == Bond::kApart || bond == Bond::kNotWith;
}

struct ParsedArgs {
    std::string command;  // the command they are of, for its usage errors; empty: the tool's own
    std::vector<std::string> operands;
    std::map<std::string, std::string> values;  // by long name; a flag's value is empty
    // The first operand after "--" that is written as one of the options, for
    // a usage error that points at it; empty when none is.
    std::string optionAfterEnd;

    bool Has(const char* longName) const { return values.count(longName) != 0; }
    const std::string& Value(const char* longName) const { return values.at(longName); }
};

// Splits `args` by `options`. "--" ends the options and "-" alone is an
// operand. With `stopAtOperand`, the first operand and everything after it
// are left as operands. False with a Spanish *error for an unknown option, a
// missing, empty or unexpected value, or an option with a value given twice
// (a flag may come again).
bool ParseArgs(const std::vector<std::string>& args, const std::vector<Option>& options, bool stopAtOperand,
               ParsedArgs* out, std::string* error);

// The first of `relations` that `args` breaks, in turn; false with its
// Spanish *error, true when none is.
bool CheckRelations(const std::vector<Relation>& relations, const std::vector<Option>& options, const ParsedArgs& args,
                    std::string* error);

}  // namespace cli
