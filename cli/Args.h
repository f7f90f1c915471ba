#pragma once
// A table-driven parser of command-line options.

#include <map>
#include <string>
#include <vector>

namespace cli {

// One option of a command line: "-o VALUE", "--output VALUE", "--output=VALUE",
// or a flag such as "-v".
struct Option {
    char shortName;         // '\0' for none
    const char* longName;   // without the dashes
    const char* valueName;  // null for a flag; "NAME": a value, after "=" or as the next word;
                            // "=NAME": the same, shown as "--name=NAME" in the help;
                            // "[=NAME]": a value that may follow "=", or not;
                            // "=value" in lower case: that one value and no other
    const char* help;
};

struct ParsedArgs {
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

}  // namespace cli
