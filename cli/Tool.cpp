// The tool's entry: global options, the command table, help texts and the
// last check of standard output.

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Cli.h"
#include "device/HidPlatform.h"
#include "sys/File.h"
#include "sys/Process.h"
#include "res/Version.h"

namespace cli {

const Option kHelpOption = {'h', "help", nullptr, "muestra esta ayuda"};
const Option kVerboseOption = {'v', "verbose", nullptr, "muestra en stderr los diagnósticos de la búsqueda del mando"};
const Option kOutputOption = {'o', "output", "SALIDA", "escribe la imagen en SALIDA («-»: la salida estándar)"};

namespace {

const Option kVersionOption = {'\0', "version", nullptr, "muestra la versión"};

const Command kCommands[] = {
    {"checksum", "ARCHIVO", "carga ARCHIVO (Intel HEX) y escribe la suma de la imagen", {}, RunChecksum},
    {"image", "ARCHIVO -o SALIDA", "carga ARCHIVO y escribe la imagen de 16384 bytes en SALIDA", {kOutputOption},
     RunImage},
    {"flash", "ARCHIVO", "carga ARCHIVO, lo revisa como check y lo envía al mando conectado",
     {{'\0', "wait", "[=SEGUNDOS]", "espera a que se conecte el mando (sin SEGUNDOS, hasta Ctrl+C)"},
      {'\0', "progress", "=json", "escribe el avance en stdout, un objeto JSON por línea"},
      {'q', "quiet", nullptr, "no escribe nada si todo va bien"},
      {'\0', "strict", nullptr, "no envía nada si la revisión da avisos"}},
     RunFlash},
    {"check", "ARCHIVO", "revisa ARCHIVO línea a línea y muestra qué partes de la imagen cubre", {}, RunCheck},
    {"list", "", "muestra las interfaces HID que examina la búsqueda del mando y por qué no se abren",
     {{'\0', "json", nullptr, "un documento JSON en lugar del texto"}}, RunList},
};

const Command* g_current = nullptr;  // the command being run, for its usage text
int g_outputError = 0;
std::string g_lastComplaint;

const char kExitCodes[] = "códigos de salida: 0 bien, 1 uso incorrecto, 2 archivo ilegible o no escrito,\n"
                          "  3 mando no conectado, 4 error durante el envío, 5 avisos (check, flash --strict)\n";
const char kFileNote[] = "ARCHIVO «-» es la entrada estándar; «--» termina las opciones.\n";

std::vector<Option> OptionsOf(const Command& c)
{
    std::vector<Option> all = c.options;
    all.push_back(kVerboseOption);
    all.push_back(kHelpOption);
    return all;
}

std::string OptionsText(const std::vector<Option>& options)
{
    std::string text;
    for (const Option& o : options) {
        std::string names = o.shortName != '\0' ? std::string("-") + o.shortName + ", " : std::string("    ");
        names += std::string("--") + o.longName;
        if (o.valueName != nullptr)
            names += (o.valueName[0] == '[' || o.valueName[0] == '=' ? "" : " ") + std::string(o.valueName);
        names.resize(std::max<std::size_t>(names.size(), 22), ' ');
        text += "  " + names + " " + o.help + "\n";
    }
    return text;
}

std::string CommandUsage(const Command& c)
{
    return std::string("uso: tolvanex-cli ") + c.name + " [OPCIONES]" + (*c.synopsis != '\0' ? " " : "") +
           c.synopsis + "\n  " + c.summary + "\n\n" +
           kFileNote + "\nopciones:\n" + OptionsText(OptionsOf(c)) + "\n" + kExitCodes;
}

std::string Usage()
{
    std::string text = "uso: tolvanex-cli [-v] ORDEN [OPCIONES] ARGUMENTOS\n"
                       "     tolvanex-cli ORDEN --help\n"
                       "     tolvanex-cli --help | --version\n\nórdenes:\n";
    for (const Command& c : kCommands)
        text += std::string("  ") + c.name + (*c.synopsis != '\0' ? " " : "") + c.synopsis + "\n      " + c.summary + "\n";
    return text + "\n" + kFileNote + "\nopciones:\n" + OptionsText({kVerboseOption, kHelpOption, kVersionOption}) +
           "\n" + kExitCodes;
}

int RunCommand(const Command& c, const std::vector<std::string>& args)
{
    g_current = &c;
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, OptionsOf(c), false, &parsed, &error))
        return UsageError(std::string(c.name) + ": " + error);
    if (parsed.Has("help")) {
        Print(CommandUsage(c));
        return kExitOk;
    }
    if (parsed.Has("verbose"))
        hidplat::SetDiagnosticsEcho(true);
    return c.run(parsed);
}

}  // namespace

void Complain(const std::string& message)
{
    g_lastComplaint = message;
    std::fprintf(stderr, "tolvanex-cli: %s\n", message.c_str());
}

const std::string& LastComplaint()
{
    return g_lastComplaint;
}

int UsageError(const std::string& why)
{
    Complain(why);
    const std::string usage = g_current != nullptr ? CommandUsage(*g_current) : Usage();
    std::fputs(usage.c_str(), stderr);
    return kExitUsage;
}

void Print(const std::string& text)
{
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && g_outputError == 0)
        g_outputError = errno != 0 ? errno : EIO;
}

int FinishOutput(int status)
{
    int failure = g_outputError;
    errno = 0;
    if (std::fflush(stdout) != 0 && failure == 0)
        failure = errno != 0 ? errno : EIO;
    if (std::ferror(stdout) && failure == 0)
        failure = EIO;
    g_outputError = failure;
    if (failure == 0)
        return status;
    Complain("no se puede escribir la salida estándar: " + SysErrorText(failure));
    return status == kExitOk ? kExitFile : status;
}

int Main(const std::vector<std::string>& args)
{
    // Lets the system's error texts follow the user's language.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    SysUseUtf8Console();
    SysGuardStandardStreams();

    ParsedArgs global;
    std::string error;
    const std::vector<std::string> rest(args.empty() ? args.end() : args.begin() + 1, args.end());
    if (!ParseArgs(rest, {kVerboseOption, kHelpOption, kVersionOption}, true, &global, &error))
        return UsageError(error);
    if (global.Has("help")) {
        Print(Usage());
        return FinishOutput(kExitOk);
    }
    if (global.Has("version")) {
        Print("tolvanex-cli " TOLVANEX_VERSION "\n");
        return FinishOutput(kExitOk);
    }
    if (global.Has("verbose"))
        hidplat::SetDiagnosticsEcho(true);
    if (global.operands.empty())
        return UsageError("falta la orden");
    const std::string& name = global.operands[0];
    for (const Command& c : kCommands) {
        if (name == c.name)
            return FinishOutput(RunCommand(c, {global.operands.begin() + 1, global.operands.end()}));
    }
    return UsageError("orden desconocida: " + name);
}

}  // namespace cli
