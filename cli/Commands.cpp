#include "cli/Commands.h"

#include <algorithm>
#include <iterator>

#include "cli/CmdCheck.h"
#include "cli/CmdChecksum.h"
#include "cli/CmdFlash.h"
#include "cli/CmdImage.h"
#include "cli/CmdList.h"
#include "sys/Process.h"

namespace cli {
namespace {

const Option kHelpOption = {'h', "help", nullptr, "muestra esta ayuda"};
const Option kVerboseOption = {'v', "verbose", nullptr, "muestra en stderr los diagnósticos de la búsqueda del mando"};
const Option kOutputOption = {'o', "output", "SALIDA", "escribe la imagen en SALIDA («-»: la salida estándar)",
                              ValueKind::kWritePath};
const Option kVersionOption = {'\0', "version", nullptr, "muestra la versión"};
// In place of FILE, for every command that reads one.
const Option kCatalogueOption = {'\0',
                                 "catalogue",
                                 "=CATÁLOGO",
                                 "lee, en lugar de ARCHIVO, una versión del catálogo CATÁLOGO (firmware.json)",
                                 ValueKind::kReadPath,
                                 "json"};
const Option kReleaseOption = {'\0', "release", "=VERSIÓN",
                               "la versión del catálogo; su archivo se usa solo si su SHA-256 es el del catálogo",
                               ValueKind::kText};
// Each needs the other: the release is looked up in the catalogue.
const Relation kCatalogueRelations[] = {{"catalogue", Bond::kNeeds, "release"},
                                        {"release", Bond::kOnlyWith, "catalogue"}};

// Exit codes beyond 0 (bien) and 1 (uso incorrecto, o versión que el catálogo no tiene), by command.
const char kFileCodes[] = "2 archivo o catálogo ilegible, catálogo no\n"
                          "  válido, SHA-256 distinto del catálogo, o salida no escrita";

const Command kCommands[] = {
    {"checksum",
     "ARCHIVO",
     "carga ARCHIVO (Intel HEX) y escribe la suma de la imagen",
     {},
     {},
     RunChecksum,
     1,
     false,
     kFileCodes},
    {"image",
     "ARCHIVO -o SALIDA",
     "carga ARCHIVO y escribe la imagen de 16384 bytes en SALIDA",
     {kOutputOption},
     {},
     RunImage,
     1,
     false,
     kFileCodes},
    {"flash",
     "ARCHIVO",
     "carga ARCHIVO, lo revisa como check y lo envía al mando conectado",
     {{'\0', "wait", "[=SEGUNDOS]", "espera a que se conecte el mando (sin SEGUNDOS, hasta Ctrl+C; como mucho un año)",
       ValueKind::kNumber},
      {'\0', "device", "=SEL", "envía al mando SEL: path:RUTA, place:LUGAR o serial:NÚMERO (como los da list)",
       ValueKind::kSelection},
      {'\0', "all", nullptr, "envía a la vez a todos los mandos conectados"},
      {'\0', "watch", nullptr, "envía a cada mando conectado y a cada uno que se conecte después, hasta Ctrl+C"},
      {'\0', "progress", "=json", "escribe el avance en stdout, un objeto JSON por línea", ValueKind::kWord},
      {'\0', "log", "REGISTRO", "añade a REGISTRO una línea JSON por mando y cómo le fue (un registro del banco)",
       ValueKind::kWritePath},
      {'q', "quiet", nullptr, "no escribe nada si todo va bien"},
      {'\0', "strict", nullptr, "no envía nada si la revisión da avisos"}},
     // In this order, the first broken one is the one told.
     {{"quiet", Bond::kApart, "progress"},
      {"all", Bond::kApart, "watch"},
      {"device", Bond::kNotWith, "all"},
      {"device", Bond::kNotWith, "watch"},
      {"wait", Bond::kNotWith, "all", "--watch espera a cada mando"},
      {"wait", Bond::kNotWith, "watch", "--watch espera a cada mando"}},
     RunFlash,
     1,
     true,
     "2 archivo o catálogo ilegible, catálogo no\n"
     "  válido, SHA-256 distinto del catálogo, o archivo sin datos para el mando,\n"
     "  3 mando no conectado, 4 error durante el envío (con --all y --watch: 3 si no\n"
     "  se actualizó ninguno y alguno se pasó por alto, 4 si alguno falló o se pasó\n"
     "  por alto), 5 avisos con --strict, 6 mando actualizado pero salida estándar\n"
     "  o registro perdidos",
     true},
    {"check",
     "ARCHIVO",
     "revisa ARCHIVO línea a línea y muestra qué partes de la imagen cubre",
     {},
     {},
     RunCheck,
     1,
     false,
     "2 archivo o catálogo ilegible, catálogo no\n"
     "  válido, SHA-256 distinto del catálogo, o salida no escrita, 5 avisos"},
    {"list",
     "",
     "muestra las interfaces HID que examina la búsqueda del mando y por qué no se abren",
     {{'\0', "json", nullptr, "un documento JSON en lugar del texto"}},
     {},
     RunList,
     0,
     true,
     "2 salida no escrita"},
};

const char kExitCodes[] = "códigos de salida: 0 bien, 1 uso incorrecto (o versión que el catálogo no tiene),\n"
                          "  2 archivo o catálogo ilegible, catálogo no válido, SHA-256 distinto del catálogo,\n"
                          "  o archivo no escrito,\n"
                          "  3 mando no conectado, 4 error durante el envío, 5 avisos (check, flash --strict),\n"
                          "  6 mando actualizado pero salida estándar perdida (flash)";

// How the system reports the status of a run that a stop request ended.
std::string StoppedText()
{
    return std::string("  interrumpido (flash): ") + SysStoppedStatusText() + "\n";
}
const char kFileNote[] = "ARCHIVO «-» es la entrada estándar; «--» termina las opciones.\n"
                         "--catalogue=CATÁLOGO --release=VERSIÓN en lugar de ARCHIVO lee el archivo de esa versión,\n"
                         "en la carpeta del catálogo, y solo si su SHA-256 es el que da el catálogo.\n";

// Characters, not bytes: the names are UTF-8 ("=VERSIÓN").
std::size_t Width(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string OptionsText(const std::vector<Option>& options)
{
    std::vector<std::string> names;
    std::size_t column = 22;  // the help texts line up here, or after the longest names
    for (const Option& o : options) {
        std::string n = o.shortName != '\0' ? std::string("-") + o.shortName + ", " : std::string("    ");
        n += std::string("--") + o.longName;
        if (o.valueName != nullptr)
            n += (o.valueName[0] == '[' || o.valueName[0] == '=' ? "" : " ") + std::string(o.valueName);
        column = std::max(column, Width(n));
        names.push_back(std::move(n));
    }
    std::string text;
    for (std::size_t i = 0; i < options.size(); ++i)
        text += "  " + names[i] + std::string(column - Width(names[i]), ' ') + " " + options[i].help + "\n";
    return text;
}

}  // namespace

const std::vector<Option> kToolOptions = {
    {'v', "verbose", nullptr, "muestra en stderr los diagnósticos de la búsqueda del mando (flash, list)"},
    kHelpOption,
    kVersionOption};

const Command* FindCommand(const std::string& name)
{
    for (const Command& c : kCommands) {
        if (name == c.name)
            return &c;
    }
    return nullptr;
}

std::span<const Command> AllCommands()
{
    return kCommands;
}

std::vector<Option> OptionsOf(const Command& c)
{
    // Every command takes -v, as the tool does before it; only those that
    // search for the controller have anything to show with it.
    std::vector<Option> all = ShownOptions(c);
    if (!c.searches)
        all.insert(all.end() - 1, kVerboseOption);
    return all;
}

std::vector<Option> ShownOptions(const Command& c)
{
    std::vector<Option> shown = c.options;
    if (c.files != 0) {
        shown.push_back(kCatalogueOption);
        shown.push_back(kReleaseOption);
    }
    if (c.searches)
        shown.push_back(kVerboseOption);
    shown.push_back(kHelpOption);
    return shown;
}

std::vector<Relation> RelationsOf(const Command& c)
{
    std::vector<Relation> all;
    if (c.files != 0)
        all.assign(std::begin(kCatalogueRelations), std::end(kCatalogueRelations));
    all.insert(all.end(), c.relations.begin(), c.relations.end());
    return all;
}

std::string CommandUsage(const Command& c)
{
    const std::vector<Option> shown = ShownOptions(c);
    return std::string("uso: tolvanex-cli ") + c.name + " [OPCIONES]" + (*c.synopsis != '\0' ? " " : "") + c.synopsis +
           "\n  " + c.summary + "\n\n" + (c.files != 0 ? std::string(kFileNote) + "\n" : std::string()) +
           "opciones:\n" + OptionsText(shown) + "\ncódigos de salida: 0 bien, 1 uso incorrecto, " + c.exitCodes +
           (c.stops ? ",\n" + StoppedText() : std::string("\n"));
}

std::string ToolUsage()
{
    std::string text = "uso: tolvanex-cli [-v] ORDEN [OPCIONES] ARGUMENTOS\n"
                       "     tolvanex-cli ORDEN --help\n"
                       "     tolvanex-cli --help | --version\n\nórdenes:\n";
    for (const Command& c : kCommands)
        text +=
            std::string("  ") + c.name + (*c.synopsis != '\0' ? " " : "") + c.synopsis + "\n      " + c.summary + "\n";
    return text + "\n" + kFileNote + "\nopciones:\n" + OptionsText(kToolOptions) + "\n" + kExitCodes + ",\n" +
           StoppedText();
}

}  // namespace cli
