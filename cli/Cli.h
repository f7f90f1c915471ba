#pragma once
// The command-line tool: a table of commands, each in a file of its own, and
// a table-driven parser of their options.

#include <map>
#include <string>
#include <string_view>
#include <vector>

class CFirmwareUpdater;
class CHexLineObserver;
class CHexLint;
struct HexWarning;

namespace cli {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitFile = 2;
constexpr int kExitNoController = 3;
constexpr int kExitDownloadFailed = 4;
constexpr int kExitWarnings = 5;  // check found something; flash --strict refused

// One option of a command line: "-o VALUE", "--output VALUE", "--output=VALUE",
// or a flag such as "-v".
struct Option {
    char shortName;         // '\0' for none
    const char* longName;   // without the dashes
    const char* valueName;  // null for a flag; "[=NAME]": a value that may follow "=", or not;
                            // "=NAME" shows as "--name=NAME" in the help
    const char* help;
};

struct ParsedArgs {
    std::vector<std::string> operands;
    std::map<std::string, std::string> values;  // by long name; a flag's value is empty

    bool Has(const char* longName) const { return values.count(longName) != 0; }
    const std::string& Value(const char* longName) const { return values.at(longName); }
};

// Splits `args` by `options` (two lists, both searched). "--" ends the
// options and "-" alone is an operand. With `stopAtOperand`, the first
// operand and everything after it are left as operands. False with a Spanish
// *error for an unknown option, a missing or unexpected value, or an option
// given twice.
bool ParseArgs(const std::vector<std::string>& args, const std::vector<Option>& options, bool stopAtOperand,
               ParsedArgs* out, std::string* error);

// Options that every command takes.
extern const Option kHelpOption;
extern const Option kVerboseOption;
extern const Option kOutputOption;

struct Command {
    const char* name;
    const char* synopsis;  // the operands, for the usage text
    const char* summary;   // one line, for --help
    std::vector<Option> options;  // beside help and verbose
    int (*run)(const ParsedArgs& args);
};

int RunChecksum(const ParsedArgs& args);
int RunImage(const ParsedArgs& args);
int RunFlash(const ParsedArgs& args);
int RunCheck(const ParsedArgs& args);
int RunList(const ParsedArgs& args);

// The whole tool: `args` as the system gave them, the program's name first.
int Main(const std::vector<std::string>& args);

// The usage of the command being run (or of the tool) on stderr after `why`;
// returns kExitUsage.
int UsageError(const std::string& why);
// Loads `path` ("-": standard input) into `updater` the way the dialog does,
// `observer` (if any) watching the read. On failure prints why on stderr and
// returns false.
bool LoadFileOrReport(CFirmwareUpdater& updater, const std::string& path, CHexLineObserver* observer = nullptr);

// Says why the controller was not found, when the cause is a permission.
extern const char kPermissionIntro[];

// The lint's findings: "NAME:LINE: aviso: ..." with its line end.
std::string WarningLine(const std::string& name, const HexWarning& warning);
std::string WarningText(const HexWarning& warning);
// All of them, and how many more of each kind there were than it keeps.
std::string WarningLines(const std::string& name, const CHexLint& lint);
// How a FILE operand is named in messages.
std::string FileName(const std::string& path);
// The map of which 256-byte cells of the image the file covers.
std::string CoverageMap(const CHexLint& lint);
// Prints a line on stderr, prefixed with the program's name.
void Complain(const std::string& message);
// The last line Complain printed, without the prefix.
const std::string& LastComplaint();
// `text` as a JSON string, quotes included; ill-formed UTF-8 becomes U+FFFD.
std::string JsonString(std::string_view text);
// Standard output, checked: the first failure is kept for FinishOutput.
void Print(const std::string& text);
// Flushes and closes standard output. A failure, now or in an earlier Print,
// is told on stderr and turns a success `status` into kExitFile.
int FinishOutput(int status);

}  // namespace cli
