#include "cli/Args.h"

#include <cstddef>
#include <utility>

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

// A fixed word's option: that one value, which may also stand as the next
// word; else null.
const char* OnlyValue(const Option& o)
{
    return o.kind == ValueKind::kWord ? o.valueName + 1 : nullptr;
}

bool IsFlag(const Option& o)
{
    return o.kind == ValueKind::kNone;
}

// The other side of a relation as the user writes it: "--release=VERSIÓN".
std::string Written(const std::vector<Option>& options, const char* longName)
{
    const Option* o = FindLong(options, longName);
    const bool shown = o != nullptr && o->valueName != nullptr && o->valueName[0] == '=';
    return std::string("--") + longName + (shown ? o->valueName : "");
}

std::string Broken(const Relation& r, const std::vector<Option>& options)
{
    const std::string other = Written(options, r.other);
    std::string text = std::string("--") + r.option;
    switch (r.bond) {
    case Bond::kApart:
        text += " y " + other + " no van juntas";
        break;
    case Bond::kNotWith:
        text += " no va con " + other;
        break;
    case Bond::kNeeds:
        text += " necesita " + other;
        break;
    case Bond::kOnlyWith:
        text += " va con " + other;
        break;
    }
    return r.note != nullptr ? text + " (" + r.note + ")" : text;
}

// One pass over the words of a command line, word by word.
class CArgParser {
public:
    CArgParser(const std::vector<std::string>& args, const std::vector<Option>& options, ParsedArgs* out,
               std::string* error)
        : m_args(args), m_options(options), m_out(out), m_error(error)
    {
    }

    bool Parse(bool stopAtOperand)
    {
        for (m_at = 0; m_at < m_args.size(); ++m_at) {
            const std::string& arg = m_args[m_at];
            if (arg == "--") {
                EndOfOptions();
                return true;
            }
            if (arg.size() < 2 || arg[0] != '-') {
                if (stopAtOperand) {
                    m_out->operands.insert(m_out->operands.end(), m_args.begin() + static_cast<std::ptrdiff_t>(m_at),
                                           m_args.end());
                    return true;
                }
                m_out->operands.push_back(arg);
            } else if (!(arg[1] == '-' ? LongOption(arg) : ShortOptions(arg))) {
                return false;
            }
        }
        return true;
    }

private:
    // After "--" every word is an operand; the first that is written as an
    // option is kept for the usage error that points at it.
    void EndOfOptions()
    {
        for (std::size_t i = m_at + 1; i < m_args.size(); ++i) {
            m_out->operands.push_back(m_args[i]);
            if (m_out->optionAfterEnd.empty() && NamesAnOption(m_options, m_args[i]))
                m_out->optionAfterEnd = m_args[i];
        }
    }

    // "--name", "--name=VALUE" or "--name VALUE".
    bool LongOption(const std::string& arg)
    {
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const Option* o = FindLong(m_options, name);
        if (o == nullptr)
            return Fail("opción desconocida: --" + name);
        if (IsFlag(*o)) {
            if (eq != std::string::npos)
                return Fail("la opción --" + name + " no lleva valor");
            return Store(*o, true, {});
        }
        if (eq != std::string::npos)
            return ValueAfterEquals(*o, arg.substr(eq + 1));
        return ValueAsNextWord(*o);
    }

    bool ValueAfterEquals(const Option& o, const std::string& value)
    {
        const std::string name = o.longName;
        if (value.empty())
            return Fail("a la opción --" + name + "= le falta su valor");
        const char* only = OnlyValue(o);
        if (only != nullptr && value != only)
            return Fail("la opción --" + name + " solo admite «" + only + "» (--" + name + "=" + only + ")");
        return Store(o, true, value);
    }

    // "--name" written alone, of an option that takes a value.
    bool ValueAsNextWord(const Option& o)
    {
        const std::string name = o.longName;
        if (const char* only = OnlyValue(o)) {
            if (m_at + 1 >= m_args.size() || m_args[m_at + 1] != only)
                return Fail("la opción --" + name + " se escribe --" + name + "=" + only);
            return Store(o, true, m_args[++m_at]);
        }
        // Only "--name=VALUE" gives an optional value one: the next word is an operand.
        if (o.valueName[0] == '[')
            return Store(o, true, {});
        if (m_at + 1 >= m_args.size())
            return Fail("a la opción --" + name + " le falta su valor (" + o.valueName + ")");
        return Store(o, true, m_args[++m_at]);
    }

    // A cluster of short options ("-qv", "-oOUT"); one that takes a value
    // takes the rest of the word, else the next word.
    bool ShortOptions(const std::string& arg)
    {
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const Option* o = FindShort(m_options, arg[k]);
            if (o == nullptr)
                return Fail(std::string("opción desconocida: -") + arg[k]);
            if (IsFlag(*o)) {
                if (!Store(*o, false, {}))
                    return false;
                continue;
            }
            if (k + 1 < arg.size())
                return Store(*o, false, arg.substr(k + 1));
            if (m_at + 1 < m_args.size())
                return Store(*o, false, m_args[++m_at]);
            return Fail(std::string("a la opción -") + o->shortName + " le falta su valor (" + o->valueName + ")");
        }
        return true;
    }

    bool Store(const Option& o, bool asLong, std::string value)
    {
        // A flag said twice says the same (-v -v, -vv); a value given twice is a mistake.
        if (m_out->values.count(o.longName) != 0 && !IsFlag(o))
            return Fail("la opción " + Shown(o, asLong) + " aparece más de una vez");
        m_out->values[o.longName] = std::move(value);
        return true;
    }

    bool Fail(std::string error)
    {
        *m_error = std::move(error);
        return false;
    }

    const std::vector<std::string>& m_args;
    const std::vector<Option>& m_options;
    ParsedArgs* m_out;
    std::string* m_error;
    std::size_t m_at = 0;  // the word being read
};

}  // namespace

bool ParseArgs(const std::vector<std::string>& args, const std::vector<Option>& options, bool stopAtOperand,
               ParsedArgs* out, std::string* error)
{
    return CArgParser(args, options, out, error).Parse(stopAtOperand);
}

bool CheckRelations(const std::vector<Relation>& relations, const std::vector<Option>& options, const ParsedArgs& args,
                    std::string* error)
{
    for (const Relation& r : relations) {
        if (!args.Has(r.option) || args.Has(r.other) != Refuses(r.bond))
            continue;
        *error = Broken(r, options);
        return false;
    }
    return true;
}

}  // namespace cli
