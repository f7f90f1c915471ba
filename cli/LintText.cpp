// The lint's findings in words, and its map of what the file covers.

#include <cstdio>
#include <string>
#include <utility>

#include "cli/LintText.h"
#include "cli/Output.h"
#include "firmware/HexLint.h"

namespace cli {
namespace {

std::string Format(const char* format, unsigned long long a, unsigned long long b = 0, unsigned long long c = 0)
{
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string Address(std::uint32_t a)
{
    return Format(a > 0xFFFF ? "0x%05llX" : "0x%04llX", a);
}

std::string Character(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (c == ' ')
        return "un espacio";
    if (c == '\t')
        return "un tabulador";
    if (u > 0x20 && u < 0x7F)
        return std::string("«") + c + "»";
    return Format("el byte 0x%02llX", u);
}

std::string RecordType(unsigned type)
{
    switch (type) {
    case 0x01:
        return "01 (fin de archivo)";
    case 0x02:
        return "02 (dirección de segmento extendida)";
    case 0x03:
        return "03 (inicio de segmento)";
    case 0x04:
        return "04 (dirección lineal extendida)";
    case 0x05:
        return "05 (inicio lineal)";
    default:
        return Format("%02llX", type);
    }
}

std::string Plural(unsigned long long n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string WarningText(const HexWarning& w)
{
    switch (w.kind) {
    case HexWarningKind::kByteOrderMark:
        return "empieza con una marca de orden de bytes (BOM): esta línea no cuenta como registro";
    case HexWarningKind::kNotRecord:
        if (w.first == 0)
            return "línea vacía: no es un registro";
        if (w.character != ':')
            return "no es un registro: empieza con " + Character(w.character) + ", no con «:»";
        return Format("no es un registro: tiene %llu caracteres y un registro tiene al menos 11", w.first);
    case HexWarningKind::kCrOnlyLineEnds:
        return "fin de línea CR sin LF (" + Plural(w.first, "vez", "veces") +
               "): el cargador ve una sola línea y solo lee su primer registro";
    case HexWarningKind::kNonHexDigit:
        return Format("columna %llu: ", w.column) + Character(w.character) +
               " no es un dígito hexadecimal y se lee como 0" +
               (w.first > 1 ? Format(" (%llu así en la línea)", w.first) : std::string());
    case HexWarningKind::kCountMismatch:
        return Format("el registro dice %llu bytes, que ocupan %llu caracteres, pero la línea tiene %llu", w.first,
                      11 + 2ull * w.first, w.second);
    case HexWarningKind::kBadChecksum:
        return Format("suma del registro incorrecta: pone %02llX y debería ser %02llX", w.first, w.second);
    case HexWarningKind::kOutsideWindow:
        return Plural(w.second, "byte", "bytes") + " desde " + Address(w.first) +
               (w.second == 1 ? " queda fuera de 0x0000-0x3FFF y se descarta"
                              : " quedan fuera de 0x0000-0x3FFF y se descartan");
    case HexWarningKind::kOverlap:
        return Plural(w.second, "byte", "bytes") + " desde " + Address(w.first) +
               Format(w.second == 1 ? " ya lo escribió la línea %llu; vale el de esta"
                                    : " ya los escribió la línea %llu; valen los de esta",
                      w.third);
    case HexWarningKind::kAfterEnd: {
        const bool one = w.first == 1;
        return Plural(w.first, "registro", "registros") + (one ? " viene" : ", desde aquí, vienen") +
               " después del registro de tipo " + RecordType(w.third) +
               Format(" de la línea %llu, que termina la lectura: el cargador no ", w.second) +
               (one ? "lo lee" : "los lee");
    }
    case HexWarningKind::kAfterEndByte: {
        const bool one = w.first == 1;
        return "un byte 0x1A termina aquí la lectura: el cargador no lee " +
               std::string(one ? "el registro que viene" : "los ") +
               (one ? "" : Plural(w.first, "registro", "registros") + " que vienen") + " después";
    }
    case HexWarningKind::kNoData:
        return "ningún registro guarda un byte en 0x0000-0x3FFF: la imagen queda toda a 0xFF";
    }
    return {};
}

std::string WarningLine(const std::string& name, const HexWarning& w)
{
    const std::string where = w.line != 0 ? name + ":" + std::to_string(w.line) : name;
    return where + ": aviso: " + WarningText(w) + "\n";
}

std::string WarningLines(const std::string& name, const CHexLint& lint)
{
    static const std::pair<HexWarningKind, const char*> kKinds[] = {
        {HexWarningKind::kNotRecord, "líneas que no son registros"},
        {HexWarningKind::kCrOnlyLineEnds, "líneas con CR sin LF"},
        {HexWarningKind::kNonHexDigit, "registros con caracteres no hexadecimales"},
        {HexWarningKind::kCountMismatch, "registros cuyo número de bytes no cuadra"},
        {HexWarningKind::kBadChecksum, "sumas de registro incorrectas"},
        {HexWarningKind::kOutsideWindow, "registros con bytes fuera de 0x0000-0x3FFF"},
        {HexWarningKind::kOverlap, "registros que escriben sobre otros"},
    };
    std::string text;
    for (const HexWarning& w : lint.Warnings())
        text += WarningLine(name, w);
    for (const auto& [kind, what] : kKinds) {
        if (lint.Count(kind) > CHexLint::kKeptPerKind)
            text += name + ": aviso: " + std::to_string(lint.Count(kind) - CHexLint::kKeptPerKind) + " " + what +
                    Format(" más (solo se muestran los %llu primeros)\n", CHexLint::kKeptPerKind);
    }
    return text;
}

std::string FileName(const std::string& path)
{
    return path == "-" ? "(entrada estándar)" : Shown(path);
}

std::string CoverageMap(const CHexLint& lint)
{
    std::string text = "cobertura de 0x0000-0x3FFF (celdas de 256 bytes: # llena, + en parte, . vacía):\n";
    constexpr std::size_t kPerRow = 16;
    for (std::size_t row = 0; row < CHexLint::kCells; row += kPerRow) {
        text += Format("  0x%04llX ", row * CHexLint::kCellSize);
        for (std::size_t cell = row; cell < row + kPerRow; ++cell) {
            const CHexLint::Cell state = lint.CellState(cell);
            text += state == CHexLint::Cell::kFull ? '#' : state == CHexLint::Cell::kPartial ? '+' : '.';
        }
        text += "\n";
    }
    return text;
}

}  // namespace cli
