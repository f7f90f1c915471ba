// The catalogue of releases: what it takes, the order it gives, and each
// kind of text it refuses, with the reason it names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/Catalogue.h"

namespace {

// SHA-256 of no bytes at all.
const std::string kEmptySha = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Release(const std::string& version, const std::string& file = "releases/f.hex",
                    const std::string& extra = "", const std::string& sha = kEmptySha,
                    const std::string& date = "2026-11-30")
{
    return R"({"version":")" + version + R"(","date":")" + date + R"(","file":")" + file + R"(","sha256":")" + sha +
           R"(","notes":"Corrige el eje X"})" + extra;
}

std::string Doc(const std::string& releases)
{
    return R"({"format":1,"releases":[)" + releases + "]}";
}

// The versions read, newest first, or "error: ..." with the reason.
std::string Read(const std::string& text)
{
    Catalogue catalogue;
    std::string error;
    if (!ReadCatalogue(text, &catalogue, &error))
        return "error: " + error;
    return CatalogueVersions(catalogue);
}

}  // namespace

TEST(Catalogue, ReadsReleasesNewestFirstAndRefusesEachFault)
{
    const std::string one = Release("1.2");
    const struct {
        const char* name;
        std::string text;
        std::string want;  // the versions, or the start of "error: ..."
    } cases[] = {
        // What it takes.
        {"one release", Doc(one), "1.2"},
        {"none yet", Doc(""), ""},
        {"newest first, by number",
         Doc(Release("1.9") + "," + Release("1.10") + "," + Release("0.9.1") + "," + Release("1.9.1") + "," +
             Release("2")),
         "2, 1.10, 1.9.1, 1.9, 0.9.1"},
        {"names near those Windows reserves",
         Doc(Release("1", "CONSOLE.hex") + "," + Release("2", "COM10/LPT.hex") + "," + Release("3", "nul_/.con") + "," +
             Release("4", "releases/1.2.hex")),
         "4, 3, 2, 1"},
        {"blanks, CRLF, byte-order mark, members in any order",
         "\xEF\xBB\xBF {\r\n \"releases\" : [\r\n\t" + one + " ] ,\r\n \"format\" : 1 }\r\n", "1.2"},
        {"escapes and UTF-8 in the notes",
         Doc(R"({"notes":"Versi\u00f3n \"nueva\"\n\ud83c\udfae ñ","version":"3","date":"2024-02-29","file":"a/b/c.hex","sha256":")" +
             std::string(64, 'A') + "\"}"),
         "3"},
        // Not JSON.
        {"empty", "", "error: línea 1, columna 1: se esperaba un valor"},
        {"trailing comma", Doc(one + ","), "error: línea 1, columna"},
        {"comment", "// catálogo\n" + Doc(one), "error: línea 1, columna 1: se esperaba un valor"},
        {"single quotes", "{'format':1}", "error: línea 1, columna 2: se esperaba un nombre entre comillas"},
        {"two documents", Doc(one) + "\n" + Doc(one), "error: línea 2, columna 1: sobra texto después del documento"},
        {"unclosed", Doc(one).substr(0, 40), "error: línea 1, columna"},
        {"a repeated name", R"({"format":1,"format":1,"releases":[]})",
         "error: línea 1, columna 13: el nombre «format» se repite"},
        {"bad escape", Doc(R"({"notes":"a\x"})"), "error: línea 1, columna 37: escape no válido en un texto"},
        {"a lone surrogate", Doc(R"({"notes":"\ud83c"})"), "error: línea 1, columna"},
        {"ill-formed UTF-8", Doc("{\"notes\":\"a\xC3(\"}"), "error: línea 1, columna 36: UTF-8 no válido"},
        {"raw line feed in a text", Doc("{\"notes\":\"a\nb\"}"),
         "error: línea 1, columna 36: texto sin cerrar en su línea"},
        {"leading zero", R"({"format":01,"releases":[]})", "error: línea 1, columna 12: número mal escrito"},
        {"too deep", std::string(40, '[') + std::string(40, ']'), "error: línea 1, columna 33: demasiados niveles"},
        // JSON, but not a catalogue.
        {"a list", "[]", "error: es una lista, no un objeto"},
        {"no format", R"({"releases":[]})", "error: falta «format»"},
        {"format as text", R"({"format":"1","releases":[]})", "error: «format» es un texto, no un número"},
        {"a newer format", R"({"format":2,"releases":[],"signature":"x"})",
         "error: es del formato 2, y este programa solo lee el formato 1"},
        // JSON has one kind of number: any spelling of 1 is format 1, and no other number.
        {"format 1.0", R"({"format":1.0,"releases":[]})", ""},
        {"format 10E-1", R"({"format":10E-1,"releases":[]})", ""},
        {"format 0.01e+2", R"({"format":0.01e+2,"releases":[]})", ""},
        {"format just above 1", R"({"format":1.0000000000000001,"releases":[]})",
         "error: es del formato 1.0000000000000001, y este"},
        {"format 1e1", R"({"format":1e1,"releases":[]})", "error: es del formato 1e1"},
        {"format -1", R"({"format":-1,"releases":[]})", "error: es del formato -1"},
        {"format 0.0", R"({"format":0.0,"releases":[]})", "error: es del formato 0.0"},
        {"format 1 with a huge exponent", R"({"format":1e-99999999999999999999999,"releases":[]})",
         "error: es del formato 1e-9"},
        {"no releases", R"({"format":1})", "error: falta «releases»"},
        {"releases as object", R"({"format":1,"releases":{}})", "error: «releases» es un objeto, no una lista"},
        {"unknown top member", R"({"format":1,"releases":[],"latest":"1.2"})", "error: sobra «latest»"},
        {"a release that is a text", Doc("\"1.2\""), "error: publicación 1: es un texto, no un objeto"},
        {"missing sha256", Doc(R"({"version":"1.2","date":"2026-11-30","file":"a.hex","notes":""})"),
         "error: publicación 1 (versión 1.2): falta «sha256»"},
        {"misspelt member", Doc(R"({"nota":"x",)" + Release("1.2").substr(1)),
         "error: publicación 1 (versión 1.2): sobra «nota»"},
        {"version as number", Doc(R"({"version":1.2,"date":"2026-11-30","file":"a.hex","sha256":"","notes":""})"),
         "error: publicación 1: «version» es un número, no un texto"},
        {"version with a letter", Doc(Release("1.2b")), "error: publicación 1: «version» debe ser de números"},
        {"version with a leading zero", Doc(Release("1.02")), "error: publicación 1: «version»"},
        {"version with an empty part", Doc(Release("1..2")), "error: publicación 1: «version»"},
        {"version at its limits", Doc(Release("999999999.999999999.999999999.99")), "999999999.999999999.999999999.99"},
        {"version of 33 characters", Doc(Release("999999999.999999999.999999999.999")),
         "error: publicación 1: «version» tiene más de 32 caracteres"},
        {"version with a number of 10 digits", Doc(Release("1.1000000000")),
         "error: publicación 1: «version» lleva un número de más de 9 cifras"},
        {"not a day", Doc(Release("1", "a.hex", "", kEmptySha, "2025-02-29")),
         "error: publicación 1 (versión 1): «date»"},
        {"date written otherwise", Doc(Release("1", "a.hex", "", kEmptySha, "30/11/2026")),
         "error: publicación 1 (versión 1): «date»"},
        {"sha256 one digit short", Doc(Release("1", "a.hex", "", kEmptySha.substr(1))),
         "error: publicación 1 (versión 1): «sha256» debe tener 64"},
        {"sha256 not hex", Doc(Release("1", "a.hex", "", "g" + kEmptySha.substr(1))),
         "error: publicación 1 (versión 1): «sha256»"},
        {"control character in the notes",
         Doc(R"({"notes":"a\u001bb","version":"1","date":"2026-11-30","file":"a.hex","sha256":")" + kEmptySha + "\"}"),
         "error: publicación 1 (versión 1): «notes» lleva un carácter de control"},
        {"the same version twice", Doc(Release("1.2") + "," + Release("1.1") + "," + Release("1.2")),
         "error: publicación 3: la versión 1.2 ya está en el catálogo"},
        {"the same version written twice", Doc(Release("1.2") + "," + Release("1.2.0")),
         "error: publicación 2: la versión 1.2.0 es la misma que la 1.2"},
        // Files that are not under the catalogue's folder, or not the same as a URL and as a file.
        {"parent folder", Doc(Release("1", "../1.hex")), "error: publicación 1 (versión 1): «file» sale de la carpeta"},
        {"parent folder inside", Doc(Release("1", "releases/../../1.hex")),
         "error: publicación 1 (versión 1): «file» sale"},
        {"absolute", Doc(Release("1", "/releases/1.hex")), "error: publicación 1 (versión 1): «file» empieza por «/»"},
        {"another origin", Doc(Release("1", "https://example.com/1.hex")),
         "error: publicación 1 (versión 1): «file» lleva «:»"},
        {"scheme-relative", Doc(Release("1", "//example.com/1.hex")),
         "error: publicación 1 (versión 1): «file» empieza por «/»"},
        {"a drive", Doc(Release("1", "C:firmware.hex")), "error: publicación 1 (versión 1): «file» lleva «:»"},
        {"backslashes", Doc(Release("1", "releases\\\\1.hex")), "error: publicación 1 (versión 1): «file» lleva «\\»"},
        {"a query", Doc(Release("1", "1.hex?x=1")), "error: publicación 1 (versión 1): «file» lleva un carácter"},
        {"percent-encoded", Doc(Release("1", "%2e%2e/1.hex")),
         "error: publicación 1 (versión 1): «file» lleva un carácter"},
        {"empty part", Doc(Release("1", "releases//1.hex")),
         "error: publicación 1 (versión 1): «file» tiene una parte vacía"},
        {"a folder", Doc(Release("1", "releases/")), "error: publicación 1 (versión 1): «file» tiene una parte vacía"},
        {"dot part", Doc(Release("1", "./1.hex")),
         "error: publicación 1 (versión 1): «file» tiene una parte vacía o «.»"},
        {"empty", Doc(Release("1", "")), "error: publicación 1 (versión 1): «file» está vacío"},
        // Names that Windows reads as another file, or as a device.
        {"a trailing dot", Doc(Release("1", "releases/1.2.hex.")),
         "error: publicación 1 (versión 1): «file» tiene la parte «1.2.hex.», que acaba en «.»"},
        {"two trailing dots", Doc(Release("1", "releases/1.2.hex..")),
         "error: publicación 1 (versión 1): «file» tiene la parte «1.2.hex..», que acaba en «.»"},
        {"a folder with a trailing dot", Doc(Release("1", "releases./1.2.hex")),
         "error: publicación 1 (versión 1): «file» tiene la parte «releases.», que acaba en «.»"},
        {"three dots", Doc(Release("1", ".../1.hex")),
         "error: publicación 1 (versión 1): «file» tiene la parte «...», que acaba en «.»"},
        {"a trailing space", Doc(Release("1", "releases/1.hex ")),
         "error: publicación 1 (versión 1): «file» lleva un carácter que no se admite"},
        {"NUL", Doc(Release("1", "releases/NUL")),
         "error: publicación 1 (versión 1): «file» tiene la parte «NUL», que Windows reserva a un dispositivo (NUL)"},
        {"con with an extension", Doc(Release("1", "con.hex")),
         "error: publicación 1 (versión 1): «file» tiene la parte «con.hex», que Windows reserva a un dispositivo "
         "(CON)"},
        {"a device as a folder", Doc(Release("1", "Aux/1.hex")),
         "error: publicación 1 (versión 1): «file» tiene la parte «Aux», que Windows reserva a un dispositivo (AUX)"},
        {"COM1 with two extensions", Doc(Release("1", "releases/com1.tar.hex")),
         "error: publicación 1 (versión 1): «file» tiene la parte «com1.tar.hex», que Windows reserva a un dispositivo "
         "(COM1)"},
        {"COM0 in a later release", Doc(Release("1", "a/b/c") + "," + Release("2", "COM0.hex")),
         "error: publicación 2 (versión 2): «file» tiene la parte «COM0.hex», que Windows reserva"},
        {"PRN", Doc(Release("1", "PRN.hex")), "error: publicación 1 (versión 1): «file» tiene la parte «PRN.hex», que"},
        {"LPT9", Doc(Release("1", "x/Lpt9.bin")),
         "error: publicación 1 (versión 1): «file» tiene la parte «Lpt9.bin», que Windows reserva a un dispositivo "
         "(LPT9)"},
        {"too large", Doc(one + std::string(kMaxCatalogueSize, ' ')), "error: tiene más de 1024 KiB"},
        // Near the largest, on one line: read in one pass (a column counted
        // for each value took minutes).
        {"many values on one line",
         [] {
             std::string many = R"({"format":1,"releases":[],"x":[0)";
             while (many.size() < kMaxCatalogueSize - 4)
                 many += ",0";
             return many + "]}";
         }(),
         "error: sobra «x»"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string got = Read(c.text);
        if (c.want.rfind("error: ", 0) == 0)
            EXPECT_EQ(got.substr(0, c.want.size()), c.want) << got;
        else
            EXPECT_EQ(got, c.want);
    }
}

TEST(Catalogue, KeepsEachReleaseAsWrittenAndChecksItsFile)
{
    Catalogue catalogue;
    std::string error;
    ASSERT_TRUE(ReadCatalogue(Doc(Release("1.1", "old/1.1.hex") + "," +
                                  Release("1.2", "releases/1.2.hex", "", std::string(64, 'F'), "2026-12-01")),
                              &catalogue, &error))
        << error;
    ASSERT_EQ(catalogue.releases.size(), 2u);
    const CatalogueRelease* r = FindRelease(catalogue, "1.2");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r, &catalogue.releases[0]);
    EXPECT_EQ(r->date, "2026-12-01");
    EXPECT_EQ(r->file, "releases/1.2.hex");
    EXPECT_EQ(r->notes, "Corrige el eje X");
    EXPECT_EQ(Sha256Text(r->sha256), std::string(64, 'f'));
    // Zero parts at the end make no other version, on either side.
    EXPECT_EQ(FindRelease(catalogue, "1.2.0"), r);
    EXPECT_EQ(FindRelease(catalogue, "1.1.0.0"), &catalogue.releases[1]);
    EXPECT_EQ(FindRelease(catalogue, "1"), nullptr);
    EXPECT_EQ(FindRelease(catalogue, "1.02"), nullptr);
    EXPECT_EQ(FindRelease(catalogue, "1.2."), nullptr);
    Catalogue zeros;
    ASSERT_TRUE(ReadCatalogue(Doc(Release("1.10.0") + "," + Release("2.0")), &zeros, &error)) << error;
    EXPECT_EQ(FindRelease(zeros, "1.10"), &zeros.releases[1]);
    EXPECT_EQ(FindRelease(zeros, "2"), &zeros.releases[0]);
    EXPECT_EQ(FindRelease(zeros, "1.1"), nullptr);
    EXPECT_EQ(CatalogueVersions(catalogue, 1), "1.2, …");
    EXPECT_EQ(CatalogueVersions(catalogue, 2), "1.2, 1.1");

    const CatalogueRelease* old = FindRelease(catalogue, "1.1");
    ASSERT_NE(old, nullptr);
    EXPECT_TRUE(CheckReleaseFile(*old, "", 0, &error)) << error;
    EXPECT_FALSE(CheckReleaseFile(*old, "x", 1, &error));
    EXPECT_EQ(error, "el archivo de la versión 1.1 no es el que publica el catálogo: su SHA-256 es "
                     "2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881 y el catálogo da " +
                         kEmptySha);
    // A file past the largest is refused by its size; the largest itself is hashed.
    const std::string large(kMaxReleaseFileSize + 1, 'x');
    EXPECT_FALSE(CheckReleaseFile(*old, large.data(), large.size(), &error));
    EXPECT_EQ(error, "el archivo de la versión 1.1 tiene más de 1024 KiB, y un archivo de firmware ocupa unas decenas "
                     "de KiB");
    EXPECT_FALSE(CheckReleaseFile(*old, large.data(), kMaxReleaseFileSize, &error));
    EXPECT_NE(error.find("su SHA-256 es"), std::string::npos) << error;
}
