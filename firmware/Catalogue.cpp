#include "firmware/Catalogue.h"

#include <algorithm>
#include <cstdint>

#include "firmware/JsonReader.h"

namespace {

using Kind = JsonValue::Kind;

constexpr std::size_t kMaxReleases = 1000;
constexpr std::size_t kMaxVersionLength = 32;
constexpr std::size_t kMaxFileLength = 255;
constexpr std::size_t kMaxNotesLength = 10000;

const char* const kReleaseMembers[] = {"version", "date", "file", "sha256", "notes"};

constexpr std::size_t kMaxVersionDigits = 9;  // each number fits 32 bits

// The numbers of a version ("1.2", "1.10.3"); false with why not, after
// "«version» ", when it is not one.
bool ParseVersion(std::string_view version, std::vector<std::uint32_t>* numbers, std::string* why)
{
    numbers->clear();
    if (version.size() > kMaxVersionLength) {
        *why = "tiene más de " + std::to_string(kMaxVersionLength) + " caracteres";
        return false;
    }
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = std::min(version.find('.', at), version.size());
        const std::string_view part = version.substr(at, end - at);
        const bool digits = std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (part.empty() || !digits || (part.size() > 1 && part[0] == '0')) {
            *why = "debe ser de números separados por puntos, como «1.2» o «1.10.3» (sin ceros a la izquierda)";
            return false;
        }
        if (part.size() > kMaxVersionDigits) {
            *why = "lleva un número de más de " + std::to_string(kMaxVersionDigits) + " cifras";
            return false;
        }
        std::uint32_t n = 0;
        for (char c : part)
            n = n * 10 + static_cast<std::uint32_t>(c - '0');
        numbers->push_back(n);
        if (end == version.size())
            return true;
        at = end + 1;
    }
}

// The numbers of a version; empty when it is not one.
std::vector<std::uint32_t> VersionNumbers(std::string_view version)
{
    std::vector<std::uint32_t> numbers;
    std::string why;
    return ParseVersion(version, &numbers, &why) ? numbers : std::vector<std::uint32_t>{};
}

// <0, 0 or >0 as a is older than, the same as or newer than b; missing
// numbers count as 0, so 1.2 and 1.2.0 are one version.
int CompareVersions(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b)
{
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::uint32_t x = i < a.size() ? a[i] : 0;
        const std::uint32_t y = i < b.size() ? b[i] : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

bool IsDate(std::string_view date)
{
    if (date.size() != 10 || date[4] != '-' || date[7] != '-')
        return false;
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
        if (date[i] < '0' || date[i] > '9')
            return false;
    const auto number = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i)
            v = v * 10 + (date[i] - '0');
        return v;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year == 0 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1])
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

// Why Windows would open another file, or a device, for this part of a path
// than a web server serves for it; empty when both mean the same.
std::string PartProblem(std::string_view part)
{
    // Windows drops trailing dots (and spaces, which the characters allowed
    // already keep out): "a.hex." opens "a.hex".
    if (part.back() == '.')
        return "que acaba en «.»: Windows la lee sin el punto, como otro nombre";
    // A device name stays one with any extension, in any case (COM¹ and the
    // like are kept out by the characters allowed).
    std::string stem(part.substr(0, part.find('.')));
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    const bool numbered =
        stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '0' && stem[3] <= '9';
    if (numbered || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return "que Windows reserva a un dispositivo (" + stem + ")";
    return {};
}

// Why `file` is not a path under the catalogue's folder that means the same
// as a URL and as a file name on every system; empty when it is one.
std::string FileProblem(std::string_view file)
{
    if (file.empty())
        return "está vacío";
    if (file.size() > kMaxFileLength)
        return "tiene más de " + std::to_string(kMaxFileLength) + " caracteres";
    if (file[0] == '/')
        return "empieza por «/»: la ruta es relativa a la carpeta del catálogo";
    if (file.find(':') != std::string_view::npos)
        return "lleva «:»: una dirección de otro sitio o una unidad de disco no valen, solo una ruta en la carpeta del "
               "catálogo";
    if (file.find('\\') != std::string_view::npos)
        return "lleva «\\»: las carpetas se separan con «/»";
    for (char c : file) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '_' || c == '-' || c == '~' || c == '/';
        if (!ok)
            return "lleva un carácter que no se admite (solo letras sin acento, cifras, «.», «_», «-», «~» y «/»)";
    }
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = std::min(file.find('/', at), file.size());
        const std::string_view part = file.substr(at, end - at);
        if (part == "..")
            return "sale de la carpeta del catálogo («..»)";
        if (part.empty() || part == ".")
            return "tiene una parte vacía o «.»";
        if (const std::string problem = PartProblem(part); !problem.empty())
            return "tiene la parte «" + std::string(part) + "», " + problem;
        if (end == file.size())
            return {};
        at = end + 1;
    }
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseDigest(std::string_view text, Sha256Digest* digest)
{
    if (text.size() != 2 * digest->size())
        return false;
    for (std::size_t i = 0; i < digest->size(); ++i) {
        const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        (*digest)[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

// Reads one release; false with *error.
bool ReadRelease(const JsonValue& value, std::size_t index, CatalogueRelease* out, std::string* error)
{
    std::string where = "publicación " + std::to_string(index + 1);
    const auto wrong = [&](const std::string& why) {
        *error = where + ": " + why;
        return false;
    };
    if (value.kind != Kind::kObject)
        return wrong(std::string("es ") + JsonKindName(value.kind) + ", no un objeto");
    // The version first, so that the other messages can name it.
    const JsonValue* version = value.Find("version");
    if (version != nullptr && version->kind == Kind::kString && !VersionNumbers(version->text).empty())
        where += " (versión " + version->text + ")";
    for (const JsonMember& m : value.members)
        if (std::find(std::begin(kReleaseMembers), std::end(kReleaseMembers), m.name) == std::end(kReleaseMembers))
            return wrong("sobra «" + m.name + "»: una publicación lleva solo version, date, file, sha256 y notes");
    for (const char* name : kReleaseMembers) {
        const JsonValue* member = value.Find(name);
        if (member == nullptr)
            return wrong(std::string("falta «") + name + "»");
        if (member->kind != Kind::kString)
            return wrong(std::string("«") + name + "» es " + JsonKindName(member->kind) + ", no un texto");
    }
    out->version = version->text;
    out->date = value.Find("date")->text;
    out->file = value.Find("file")->text;
    out->notes = value.Find("notes")->text;
    std::vector<std::uint32_t> numbers;
    if (std::string why; !ParseVersion(out->version, &numbers, &why))
        return wrong("«version» " + why);
    if (!IsDate(out->date))
        return wrong("«date» debe ser un día que exista, escrito AAAA-MM-DD");
    if (const std::string problem = FileProblem(out->file); !problem.empty())
        return wrong("«file» " + problem);
    if (!ParseDigest(value.Find("sha256")->text, &out->sha256))
        return wrong("«sha256» debe tener 64 dígitos hexadecimales, como los escribe sha256sum");
    if (out->notes.size() > kMaxNotesLength)
        return wrong("«notes» tiene más de " + std::to_string(kMaxNotesLength) + " bytes");
    for (char c : out->notes)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7F)
            return wrong("«notes» lleva un carácter de control (solo se admiten saltos de línea y tabuladores)");
    return true;
}

// A JSON number as written, reduced to its digits without leading or
// trailing zeros and the power of ten they go with: 1, 1.0, 1e0 and 10e-1
// give the same, since JSON tells no integers from other numbers.
struct DecimalNumber {
    bool negative = false;
    std::string digits;  // empty for zero
    long long exponent = 0;
    bool operator==(const DecimalNumber&) const = default;
};

DecimalNumber Decimal(std::string_view number)
{
    DecimalNumber d;
    std::size_t at = 0;
    if (at < number.size() && number[at] == '-') {
        d.negative = true;
        ++at;
    }
    long long fraction = 0;
    bool point = false;
    for (; at < number.size() && number[at] != 'e' && number[at] != 'E'; ++at) {
        if (number[at] == '.') {
            point = true;
        } else {
            fraction += point ? 1 : 0;
            if (!(d.digits.empty() && number[at] == '0'))
                d.digits += number[at];
        }
    }
    long long exponent = 0;
    bool below = false;
    if (at < number.size()) {
        ++at;
        if (at < number.size() && (number[at] == '+' || number[at] == '-'))
            below = number[at++] == '-';
        // Past any text's length the exponent says nothing more.
        for (; at < number.size(); ++at)
            exponent = std::min(exponent * 10 + (number[at] - '0'), 1LL << 40);
    }
    d.exponent = (below ? -exponent : exponent) - fraction;
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
        ++d.exponent;
    }
    if (d.digits.empty())
        d = DecimalNumber{};
    return d;
}

}  // namespace

bool ReadCatalogue(std::string_view text, Catalogue* out, std::string* error)
{
    *out = Catalogue{};
    if (text.size() > kMaxCatalogueSize) {
        *error = "tiene más de " + std::to_string(kMaxCatalogueSize / 1024) + " KiB";
        return false;
    }
    JsonValue root;
    if (!ReadJson(text, &root, error))
        return false;
    if (root.kind != Kind::kObject) {
        *error = std::string("es ") + JsonKindName(root.kind) + ", no un objeto con «format» y «releases»";
        return false;
    }
    // The format first: a newer one may have members that this one lacks.
    const JsonValue* format = root.Find("format");
    if (format == nullptr || format->kind != Kind::kNumber) {
        *error = format == nullptr ? "falta «format»"
                                   : std::string("«format» es ") + JsonKindName(format->kind) + ", no un número";
        return false;
    }
    if (Decimal(format->text) != Decimal(std::to_string(kCatalogueFormat))) {
        *error = "es del formato " + format->text + ", y este programa solo lee el formato " +
                 std::to_string(kCatalogueFormat);
        return false;
    }
    for (const JsonMember& m : root.members) {
        if (m.name != "format" && m.name != "releases") {
            *error = "sobra «" + m.name + "»: el formato 1 lleva solo format y releases";
            return false;
        }
    }
    const JsonValue* releases = root.Find("releases");
    if (releases == nullptr || releases->kind != Kind::kArray) {
        *error = releases == nullptr ? "falta «releases»"
                                     : std::string("«releases» es ") + JsonKindName(releases->kind) + ", no una lista";
        return false;
    }
    if (releases->items.size() > kMaxReleases) {
        *error = "tiene más de " + std::to_string(kMaxReleases) + " publicaciones";
        return false;
    }

    std::vector<std::pair<std::vector<std::uint32_t>, CatalogueRelease>> read;
    for (std::size_t i = 0; i < releases->items.size(); ++i) {
        CatalogueRelease release;
        if (!ReadRelease(releases->items[i], i, &release, error))
            return false;
        std::vector<std::uint32_t> numbers = VersionNumbers(release.version);
        for (const auto& [earlier, other] : read) {
            if (CompareVersions(earlier, numbers) == 0) {
                *error = "publicación " + std::to_string(i + 1) + ": la versión " + release.version +
                         (other.version == release.version ? " ya está" : " es la misma que la " + other.version) +
                         " en el catálogo";
                return false;
            }
        }
        read.emplace_back(std::move(numbers), std::move(release));
    }
    std::sort(read.begin(), read.end(),
              [](const auto& a, const auto& b) { return CompareVersions(a.first, b.first) > 0; });
    for (auto& entry : read)
        out->releases.push_back(std::move(entry.second));
    return true;
}

bool IsVersion(std::string_view version)
{
    return !VersionNumbers(version).empty();
}

const CatalogueRelease* FindRelease(const Catalogue& catalogue, std::string_view version)
{
    const std::vector<std::uint32_t> wanted = VersionNumbers(version);
    if (wanted.empty())
        return nullptr;
    for (const CatalogueRelease& r : catalogue.releases)
        if (CompareVersions(VersionNumbers(r.version), wanted) == 0)
            return &r;
    return nullptr;
}

std::string CatalogueVersions(const Catalogue& catalogue, std::size_t most)
{
    std::string text;
    for (std::size_t i = 0; i < catalogue.releases.size(); ++i) {
        text += i == 0 ? "" : ", ";
        if (i == most)
            return text + "…";
        text += catalogue.releases[i].version;
    }
    return text;
}

bool CheckReleaseFile(const CatalogueRelease& release, const void* data, std::size_t size, std::string* error)
{
    if (size > kMaxReleaseFileSize) {
        *error = "el archivo de la versión " + release.version + " tiene más de " +
                 std::to_string(kMaxReleaseFileSize / 1024) +
                 " KiB, y un archivo de firmware ocupa unas decenas de KiB";
        return false;
    }
    Sha256Digest digest{};
    int code = 0;
    if (!SysSha256(data, size, &digest, &code)) {
        *error = "no se puede comprobar el archivo de la versión " + release.version + ": " + SysErrorText(code);
        return false;
    }
    if (digest != release.sha256) {
        *error = "el archivo de la versión " + release.version + " no es el que publica el catálogo: su SHA-256 es " +
                 Sha256Text(digest) + " y el catálogo da " + Sha256Text(release.sha256);
        return false;
    }
    return true;
}

std::string Sha256Text(const Sha256Digest& digest)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}
