// --catalogue and --release in place of FILE: the release's file beside the
// catalogue, taken only when its SHA-256 is the catalogue's; flash over the
// in-memory HID stack.

#include "CliTest.h"

#include "firmware/Catalogue.h"

using namespace clitest;

TEST_F(Cli, TakesAReleaseFromACatalogue)
{
    fs::create_directories(m_dir.Path() / "site" / "releases");
    const std::string newest = ReadFile(TOLVANEX_SAMPLE_HEX);
    const std::string older = Record(0, {1, 2, 3}) + "\n";
    const std::string r12 = m_dir.Write("site/releases/1.2.hex", newest);
    const std::string r11 = m_dir.Write("site/releases/1.1.hex", older);
    const std::string r09 = m_dir.Write("site/releases/0.9.hex", Record(0, {9}) + "\n");
    const std::string catalogue = m_dir.Write(
        "site/firmware.json", R"({"format":1,"releases":[)" + Entry("1.1", "releases/1.1.hex", Sha256Of(older)) + "," +
                                  Entry("1.2", "releases/1.2.hex", Sha256Of(newest)) + "," +
                                  Entry("1.0", "releases/1.0.hex", Sha256Of("")) + "," +
                                  Entry("0.9", "releases/0.9.hex", Sha256Of(older)) + "]}");
    const std::string outside = m_dir.Write(
        "site/outside.json", R"({"format":1,"releases":[)" + Entry("1.2", "../1.2.hex", Sha256Of("")) + "]}");
    const std::string huge = m_dir.Write("site/huge.json", std::string(kMaxCatalogueSize + 1, ' '));
    // Seven releases, 2.0 to 8, the newest's file far past the largest (sparse: no disk).
    std::string seven = Entry("2.0", "releases/2.hex", Sha256Of(""));
    for (int v = 3; v <= 8; ++v)
        seven += "," + Entry(std::to_string(v), "releases/" + std::to_string(v) + ".hex", Sha256Of(""));
    const std::string many = m_dir.Write("site/many.json", R"({"format":1,"releases":[)" + seven + "]}");
    const std::string r8 = m_dir.Write("site/releases/8.hex", "");
    fs::resize_file(r8, 64 * kMaxReleaseFileSize);
    const std::string out = (m_dir.Path() / "out.bin").string();
    const fs::path streams = m_io.Path() / "streams";
    const std::string cli = Q(TOLVANEX_CLI) + " ";
    const std::string flash = Env("controller") + "TVX_FAKE_STREAMS=" + Q(streams.string()) + " " +
                              Q(TOLVANEX_FAKE_CLI) + " flash --catalogue=" + Q(catalogue) + " ";
    const std::string mismatch = "«" + r09 +
                                 "»: el archivo de la versión 0.9 no es el que publica el catálogo: su SHA-256 es " +
                                 Sha256Of(ReadFile(r09)) + " y el catálogo da " + Sha256Of(older) + "\n";
    const struct {
        const char* name;
        std::string line;
        int exitCode;
        std::string out;   // all of stdout; for check, its first line
        std::string err;   // all of stderr after "tolvanex-cli: ", or a part of it when it begins with "…"
        std::string sent;  // the file whose image the controller got whole; "" for nothing sent
    } cases[] = {
        {"checksum", cli + "checksum --catalogue " + Q(catalogue) + " --release 1.2", 0, ChecksumText(r12), "", ""},
        {"check", cli + "check --catalogue=" + Q(catalogue) + " --release=1.1", 0,
         "versión 1.1 del 2026-11-30: «" + r11 + "», SHA-256 igual al del catálogo\n", "", ""},
        {"image", cli + "image --catalogue " + Q(catalogue) + " --release 1.1 -o " + Q(out), 0, "", "", ""},
        {"a catalogue in the current folder",
         "cd " + Q((m_dir.Path() / "site").string()) + " && " + cli +
             "checksum --catalogue firmware.json --release 1.2",
         0, ChecksumText(r12), "", ""},
        {"flash", flash + "--release=1.2", 0, "Actualización OK!!!!\n", "", r12},
        {"flash, an older one", flash + "--release=1.1 -q", 0, "", "", r11},
        // Refused, nothing sent.
        {"flash, SHA-256 not the catalogue's", flash + "--release=0.9", 2, "", mismatch, ""},
        {"flash --progress=json, SHA-256 not the catalogue's", flash + "--release=0.9 --progress=json", 2,
         "{\"event\":\"result\",\"ok\":false,\"message\":\"" + mismatch.substr(0, mismatch.size() - 1) + "\"}\n",
         mismatch, ""},
        {"check, SHA-256 not the catalogue's", cli + "check --catalogue " + Q(catalogue) + " --release 0.9", 2, "",
         mismatch, ""},
        {"image, SHA-256 not the catalogue's",
         cli + "image --catalogue " + Q(catalogue) + " --release 0.9 -o " + Q(out), 2, "", mismatch, ""},
        {"a version it does not have", flash + "--release=1.3", 1, "",
         "flash: el catálogo «" + catalogue +
             "» no tiene la versión «1.3» (tiene: 1.2, 1.1, 1.0, 0.9)\nPruebe "
             "«tolvanex-cli flash --help».\n",
         ""},
        {"a version of many it does not have", cli + "checksum --catalogue " + Q(many) + " --release 1", 1, "",
         "checksum: el catálogo «" + many + "» no tiene la versión «1» (tiene 7 versiones: 8, 7, 6, 5, 4, …)\n" +
             "Pruebe «tolvanex-cli checksum --help».\n",
         ""},
        {"a version written with a zero part more", flash + "--release=1.2.0 -q", 0, "", "", r12},
        {"a version written with a zero part less", cli + "checksum --catalogue " + Q(many) + " --release 2", 2, "",
         "no se puede abrir «" + (m_dir.Path() / "site/releases/2.hex").string() + "»: no existe\n", ""},
        {"a release file too large", cli + "checksum --catalogue " + Q(many) + " --release 8", 2, "",
         "«" + r8 +
             "»: el archivo de la versión 8 tiene más de 1024 KiB, y un archivo de firmware ocupa unas decenas de "
             "KiB\n",
         ""},
        {"its file is missing", flash + "--release=1.0", 2, "",
         "no se puede abrir «" + (m_dir.Path() / "site/releases/1.0.hex").string() + "»: no existe\n", ""},
        {"no catalogue", cli + "checksum --catalogue " + Q(out + ".json") + " --release 1.2", 2, "",
         "no se puede abrir «" + out + ".json»: no existe\n", ""},
        {"a catalogue that leaves its folder", cli + "checksum --catalogue " + Q(outside) + " --release 1.2", 2, "",
         "«" + outside + "» no es un catálogo válido: publicación 1 (versión 1.2): «file» sale de la carpeta del " +
             "catálogo («..»)\n",
         ""},
        {"a catalogue too large", cli + "check --catalogue " + Q(huge) + " --release 1.2", 2, "",
         "«" + huge + "» no es un catálogo válido: tiene más de 1024 KiB\n", ""},
        {"not a catalogue", cli + "image --catalogue " + Q(r12) + " --release 1.2 -o " + Q(out), 2, "",
         "…no es un catálogo válido: línea 1, columna 1: se esperaba un valor", ""},
        {"its own file as the output", cli + "image --catalogue " + Q(catalogue) + " --release 1.2 -o " + Q(r12), 2, "",
         "no se puede escribir «" + r12 + "»: es el mismo archivo que la entrada «" + r12 + "»\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(streams);
        fs::create_directories(streams);
        fs::remove(out);
        const Result r = RunShell(c.line + " </dev/null");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(c.name == std::string("check") ? Lines(r.out).at(0) : r.out, c.out);
        if (c.err.rfind("…", 0) == 0)
            EXPECT_NE(r.err.find(c.err.substr(std::string("…").size())), std::string::npos) << r.err;
        else
            EXPECT_EQ(r.err, c.err.empty() ? "" : "tolvanex-cli: " + c.err);
        const std::string got = ReadFile((streams / "fake-controller").string());
        EXPECT_TRUE(c.sent.empty() ? got.empty() : got == Stream(c.sent)) << got.size() << " bytes of reports";
    }
    // The image of the release is the image of its file; the files are as they were.
    EXPECT_EQ(Run({"image", "--catalogue=" + catalogue, "--release=1.1", "-o", out}).exitCode, 0);
    EXPECT_EQ(Run({"image", r11, "-o", out + ".plain"}).exitCode, 0);
    EXPECT_EQ(ReadFile(out), ReadFile(out + ".plain"));
    EXPECT_EQ(ReadFile(r12), newest);
}

// Memory running out is told in Spanish with status 2, not an abort. The
// limit is the least, in steps of 4 MiB, under which a small catalogue reads
// as usual: one near the largest needs some 50 MiB more to parse, and a
// plain FILE four times the limit streams through it.
TEST_F(Cli, TellsMemoryRunningOutInSpanish)
{
    const std::string small = m_dir.Write("small.json", R"({"format":1,"releases":[]})");
    std::string values = R"({"format":1,"releases":[],"x":[0)";
    while (values.size() < kMaxCatalogueSize - 4)
        values += ",0";
    const std::string large = m_dir.Write("large.json", values + "]}");
    const auto under = [&](long kib, const std::string& args) {
        return RunShell("ulimit -v " + std::to_string(kib) + " && " + Q(TOLVANEX_CLI) + " " + args + " </dev/null");
    };
    long limit = 0;
    for (long kib = 4096; kib <= 512 * 1024 && limit == 0; kib += 4096) {
        const Result r = under(kib, "checksum --catalogue " + Q(small) + " --release 1");
        if (r.exitCode == 1 && r.err.find("no tiene la versión «1»") != std::string::npos)
            limit = kib;
    }
    if (limit == 0)
        GTEST_SKIP() << "the tool runs under no address-space limit up to 512 MiB (a sanitizer's build)";

    const Result r = under(limit, "checksum --catalogue " + Q(large) + " --release 1");
    EXPECT_EQ(r.exitCode, 2) << "under " << limit << " KiB: " << r.err;
    EXPECT_EQ(r.err, "tolvanex-cli: no queda memoria: el sistema no ha dado la que hacía falta\n");
    EXPECT_EQ(r.out, "");

    const std::string zeros = m_dir.Write("zeros.hex", "");
    fs::resize_file(zeros, 4 * 1024 * static_cast<std::uintmax_t>(limit));
    const Result plain = under(limit, "checksum " + Q(zeros));
    EXPECT_EQ(plain.exitCode, 0) << "under " << limit << " KiB: " << plain.err;
    EXPECT_EQ(plain.out, ChecksumText(zeros));
}
