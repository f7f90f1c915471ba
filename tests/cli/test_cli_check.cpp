// tolvanex-cli check: each kind of warning, with its line.

#include "CliTest.h"

using namespace clitest;

TEST_F(Cli, CheckTellsWarningsWithLineNumbers)
{
    const std::string clean = Record(0, {1, 2}) + "\n" + kEof + "\n";
    const struct {
        const char* name;
        std::string text;
        int exitCode;
        std::vector<std::string> out;  // parts of stdout, in order
    } cases[] = {
        {"clean", clean, 0,
         {"cobertura de 0x0000-0x3FFF", "  0x0000 +...............\n", "checksum: BE05\n", "sin avisos\n"}},
        {"a wrong checksum and an overlap", Record(0, {1, 2}) + "\n:01000100AA00\n", 5,
         {"in.hex:2: aviso: suma del registro incorrecta: pone 00 y debería ser 54\n",
          "in.hex:2: aviso: 1 byte desde 0x0001 ya lo escribió la línea 1; vale el de esta\n", "2 avisos\n"}},
        {"extended address first", ":020000040000FA\n" + clean, 5,
         {"in.hex:2: aviso: 1 registro viene después del registro de tipo 04 (dirección lineal extendida) de la "
          "línea 1, que termina la lectura: el cargador no lo lee\n",
          "in.hex: aviso: ningún registro guarda un byte en 0x0000-0x3FFF", "checksum: C000\n"}},
        {"a 0x1A byte", clean.substr(0, 16) + "\x1A" + Record(0x10, {1}) + "\n" + kEof + "\n", 5,
         {"in.hex:2: aviso: un byte 0x1A termina aquí la lectura: el cargador no lee el registro que viene después\n",
          "1 aviso\n"}},
        {"many of one kind",
         [] {
             std::string t;
             for (int i = 0; i < 150; ++i)
                 t += Record(0x20, {7}) + "\n";
             return t;
         }(),
         5, {"in.hex:101: aviso: 1 byte desde 0x0020 ya lo escribió la línea 100",
             "in.hex: aviso: 49 registros que escriben sobre otros más (solo se muestran los 100 primeros)\n",
             "149 avisos\n"}},
        {"a whole cell and the last byte",
         [] {
             std::string t;
             for (unsigned a = 0x100; a < 0x200; a += 32)
                 t += Record(a, std::vector<std::uint8_t>(32, 0)) + "\n";
             return t + Record(0x3FFF, {0x10}) + "\n";
         }(),
         0, {"  0x0000 .#..............\n", "  0x3000 ...............+\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = m_dir.Write("in.hex", c.text);
        Result r = RunShell("cd " + Q(m_dir.Path().string()) + " && " + Q(TOLVANEX_CLI) + " check in.hex");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        EXPECT_EQ(r.err, "");
        std::size_t at = 0;
        for (const std::string& part : c.out) {
            at = r.out.find(part, at);
            EXPECT_NE(at, std::string::npos) << part << "\n--- in:\n" << r.out;
        }
        // The same from standard input, named as such.
        r = RunShell(Q(TOLVANEX_CLI) + " check - < " + Q(in));
        EXPECT_EQ(r.exitCode, c.exitCode);
        if (c.exitCode != 0) {
            EXPECT_NE(r.out.find("(entrada estándar):"), std::string::npos) << r.out;
        }
    }
    Result r = Run({"check", (m_dir.Path() / "no-existe.hex").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
}
