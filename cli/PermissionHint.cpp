#include "cli/PermissionHint.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "cli/Output.h"

#include "device/HidPlatform.h"

namespace cli {
namespace {

// The rule's one line, as res/linux/70-tolvanex.rules holds it.
const char kRuleLine[] = R"(SUBSYSTEM=="hidraw", KERNELS=="????:0E8F:310D.*", TAG+="uaccess")";

const char kWho[] = "La regla de udev del mando da acceso a él al usuario de la sesión local (la de la pantalla\n"
                    "y el teclado del equipo), no a una sesión remota como ssh.\n";
// `path` as one word of a shell command that the user pastes: quoted unless
// it holds only characters no shell reads specially.
std::string ShellWord(const std::string& path)
{
    const bool plain = !path.empty() && path.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                               "0123456789/._+-:@%,=") == std::string::npos;
    if (plain)
        return path;
    std::string word = "'";
    for (char c : path)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return Shown(word + "'");
}

const char kApply[] = "  sudo udevadm control --reload\n"
                      "  sudo udevadm trigger --subsystem-match=hidraw\n";

// The rule in the source tree of the build that the program runs from: the
// nearest CMakeCache.txt, in the program's folder or a few above, names the
// tree. Empty when the program does not run from a build, or the tree lacks it.
std::string RuleOfTheBuild(std::string folder)
{
    for (int up = 0; up < 5 && !folder.empty(); ++up) {
        std::ifstream cache(folder + "/CMakeCache.txt");
        if (cache.is_open()) {
            const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
            for (std::string line; std::getline(cache, line);) {
                if (!line.starts_with(key))
                    continue;
                const std::string rule = line.substr(key.size()) + "/res/linux/70-tolvanex.rules";
                std::error_code error;
                if (std::filesystem::exists(rule, error))
                    return rule;
            }
            return {};
        }
        folder.erase(folder.find_last_of('/') == std::string::npos ? 0 : folder.find_last_of('/'));
    }
    return {};
}

std::string UdevHint(hidplat::AccessFacts facts)
{
    if (!facts.programFolder.empty()) {
        if (std::string rule = RuleOfTheBuild(facts.programFolder); !rule.empty()) {
            facts.shippedRule = rule;
            facts.fromBuild = true;
        }
    }
    std::string text = kWho;
    if (!facts.installedRule.empty())
        return text + "Está instalada: " + Shown(facts.installedRule) +
               "\nSi el mando ya estaba enchufado cuando se instaló, desenchúfelo y vuelva a enchufarlo,\n"
               "o aplíquela con:\n" +
               kApply;
    if (!facts.shippedRule.empty())
        return text + "No está instalada. " +
               (facts.fromBuild ? "Instálela desde el código fuente de este programa:\n"
                                : "Vino con el programa, pero udev no la lee ahí. Instálela así:\n") +
               "  sudo install -m 644 " + ShellWord(facts.shippedRule) + " /etc/udev/rules.d/\n" + kApply +
               "(o, en lugar de las dos últimas órdenes, desenchufe el mando y vuelva a enchufarlo).\n";
    return text + "No está instalada. El paquete del programa (.deb) la instala; sin él, créela así:\n" + "  echo '" +
           kRuleLine + "' | sudo tee /etc/udev/rules.d/70-tolvanex.rules\n" + kApply +
           "(o, en lugar de las dos últimas órdenes, desenchufe el mando y vuelva a enchufarlo).\n";
}

}  // namespace

std::string PermissionHint()
{
    return PermissionHint(hidplat::CurrentHidPlatform().ControllerAccessFacts());
}

std::string PermissionHint(const hidplat::AccessFacts& facts)
{
    std::string text = "Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.\n";
    switch (facts.gate) {
    case hidplat::AccessFacts::Gate::kUdevRule:
        return text + UdevHint(facts);
    case hidplat::AccessFacts::Gate::kExclusiveHold:
        return text + "Windows no deja abrir el mando a este programa: puede que otro lo tenga abierto en exclusiva.\n"
                      "Cierre los programas que usen el mando y vuelva a intentarlo.\n";
    }
    return text;
}

}  // namespace cli
