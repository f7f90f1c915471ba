#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Cli.h"
#include "device/SystemFile.h"

namespace cli {
namespace {

const Command kCommands[] = {
    {"checksum", "ARCHIVO", "carga ARCHIVO (Intel HEX) y escribe la suma de la imagen", RunChecksum},
    {"image", "ARCHIVO -o SALIDA", "carga ARCHIVO y escribe la imagen de 16384 bytes en SALIDA", RunImage},
    {"flash", "ARCHIVO", "carga ARCHIVO y lo envía al mando conectado", RunFlash},
};

void PrintUsage(std::FILE* out)
{
    std::fputs("uso: tolvanex-cli ORDEN [ARGUMENTOS]\n"
               "     tolvanex-cli --help | --version\n\nórdenes:\n",
               out);
    for (const Command& c : kCommands)
        std::fprintf(out, "  %s %s\n      %s\n", c.name, c.synopsis, c.summary);
    std::fputs("\ncódigos de salida: 0 bien, 1 uso incorrecto, 2 archivo ilegible,\n"
               "  3 mando no conectado, 4 error durante el envío\n",
               out);
}

}  // namespace

void Complain(const std::string& message)
{
    std::fprintf(stderr, "tolvanex-cli: %s\n", message.c_str());
}

int UsageError(const std::string& why)
{
    Complain(why);
    PrintUsage(stderr);
    return kExitUsage;
}

}  // namespace cli

int main(int argc, char** argv)
{
    // Lets the system's error texts follow the user's language.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    SysUseUtf8Console();

    if (argc < 2)
        return cli::UsageError("falta la orden");
    const std::string name = argv[1];
    if (name == "--help" || name == "-h") {
        cli::PrintUsage(stdout);
        return cli::kExitOk;
    }
    if (name == "--version") {
        std::puts("tolvanex-cli 1.0");
        return cli::kExitOk;
    }
    for (const cli::Command& c : cli::kCommands) {
        if (name == c.name)
            return c.run(cli::Args(argv + 2, argv + argc));
    }
    return cli::UsageError("orden desconocida: " + name);
}
