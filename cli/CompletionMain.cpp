// tolvanex-cli-completion TEMPLATE OUTPUT: the bash completion, written at
// build time from the command table, so a new option or command is offered
// by Tab without anyone editing the script. TEMPLATE holds the logic; its line
// @TOLVANEX_CLI_TABLE@ becomes what the table says.

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/BashCompletion.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: tolvanex-cli-completion TEMPLATE OUTPUT\n";
        return 1;
    }
    std::string table, error;
    if (!cli::BashCompletionTable(&table, &error)) {
        std::cerr << "tolvanex-cli-completion: " << error << "\n";
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream read;
    read << in.rdbuf();
    std::string text = read.str();
    const std::string marker = "@TOLVANEX_CLI_TABLE@\n";
    const std::size_t at = text.find(marker);
    if (!in || at == std::string::npos) {
        std::cerr << "tolvanex-cli-completion: " << argv[1] << " has no line @TOLVANEX_CLI_TABLE@\n";
        return 1;
    }
    text.replace(at, marker.size(), table);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "tolvanex-cli-completion: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
