#include "cli/Args.h"

namespace cli {
namespace {

const Option* FindShort(const std::vector<Option>& options, char name)
{
    for (const Option& o : options)
        if (o.shortName != '\0' && o.shortName == name)
            return &o;
    return nullptr;
}

const Option* FindLong(const std::vector<Option>& options, const std::string& name)
{
    for (const Option& o : options)
        if (o.longName != nullptr && name == o.longName)
            return &o;
    return nullptr;
}

// "-o", "--output" or "--output=...": an option of this list as it is written.
bool NamesAnOption(const std::vector<Option>& options, const std::string& word)
{
    if (word.size() == 2 && word[0] == '-' && word[1] != '-')
        return FindShort(options, word[1]) != nullptr;
    if (word.size() > 2 && word.starts_with("--"))
        return FindLong(options, word.substr(2, word.find('=') == std::string::npos ? std::string::npos
                                                                                    : word.find('=') - 2)) != nullptr;
    return false;
}

std::string Shown(const Option& o, bool asLong)
{
    return asLong ? std::string("--") + o.longName : std::string("-") + o.shortName;
}

}  // namespace

bool ParseArgs(const std::vector<std::string>& args, const std::vector<Option>& options, bool stopAtOperand,
               ParsedArgs* out, std::string* error)
{
    auto store = [&](const Option& o, bool asLong, std::string value) {
        if (out->values.count(o.longName) != 0) {
            *error = "la opción " + Shown(o, asLong) + " aparece más de una vez";
            return false;
        }
        out->values[o.longName] = std::move(value);
        return true;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            out->operands.insert(out->operands.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            for (std::size_t j = i + 1; j < args.size() && out->optionAfterEnd.empty(); ++j) {
                if (NamesAnOption(options, args[j]))
                    out->optionAfterEnd = args[j];
            }
            return true;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            if (stopAtOperand) {
                out->operands.insert(out->operands.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
                return true;
            }
            out->operands.push_back(arg);
            continue;
        }
        if (arg[1] == '-') {
            const std::size_t eq = arg.find('=');
            const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            const Option* o = FindLong(options, name);
            if (o == nullptr) {
                *error = "opción desconocida: --" + name;
                return false;
            }
            const bool optionalValue = o->valueName != nullptr && o->valueName[0] == '[';
            // "=value" in lower case: the one value it takes, which may also stand as the next word.
            const char* only =
                o->valueName != nullptr && o->valueName[0] == '=' && o->valueName[1] >= 'a' && o->valueName[1] <= 'z'
                    ? o->valueName + 1
                    : nullptr;
            if (o->valueName == nullptr) {
                if (eq != std::string::npos) {
                    *error = "la opción --" + name + " no lleva valor";
                    return false;
                }
                if (!store(*o, true, {}))
                    return false;
            } else if (eq != std::string::npos) {
                const std::string value = arg.substr(eq + 1);
                if (value.empty()) {
                    *error = "a la opción --" + name + "= le falta su valor";
                    return false;
                }
                if (only != nullptr && value != only) {
                    *error = "la opción --" + name + " solo admite «" + only + "» (--" + name + "=" + only + ")";
                    return false;
                }
                if (!store(*o, true, value))
                    return false;
            } else if (only != nullptr) {
                if (i + 1 >= args.size() || args[i + 1] != only) {
                    *error = "la opción --" + name + " se escribe --" + name + "=" + only;
                    return false;
                }
                if (!store(*o, true, args[++i]))
                    return false;
            } else if (optionalValue) {
                // Only "--name=VALUE" gives it one: the next word is an operand.
                if (!store(*o, true, {}))
                    return false;
            } else if (i + 1 < args.size()) {
                if (!store(*o, true, args[++i]))
                    return false;
            } else {
                *error = "a la opción --" + name + " le falta su valor (" + o->valueName + ")";
                return false;
            }
            continue;
        }
        // A cluster of short options; one that takes a value takes the rest.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const Option* o = FindShort(options, arg[k]);
            if (o == nullptr) {
                *error = std::string("opción desconocida: -") + arg[k];
                return false;
            }
            if (o->valueName == nullptr) {
                if (!store(*o, false, {}))
                    return false;
                continue;
            }
            std::string value;
            if (k + 1 < arg.size()) {
                value = arg.substr(k + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                *error = std::string("a la opción -") + o->shortName + " le falta su valor (" + o->valueName + ")";
                return false;
            }
            if (!store(*o, false, std::move(value)))
                return false;
            break;
        }
    }
    return true;
}

}  // namespace cli
