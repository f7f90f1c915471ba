// tolvanex-cli list over every kind of interface.

#include "CliTest.h"

using namespace clitest;

TEST_F(Cli, ListTellsEveryInterfaceAndWhyItDoesNotOpen)
{
    const struct {
        const char* scene;
        std::vector<std::string> text;  // parts of the text, in order
        std::string json;               // python3 condition on the document d
    } cases[] = {
        {"none", {"  ninguna\n", "Ninguna sirve: una actualización diría «Mando no conectado».\n"},
         "d[\"interfaces\"] == [] and d[\"chosen\"] is None and d[\"hint\"] is None"},
        {"controller",
         {"[0] /dev/fake-controller\n    0E8F:310D  «Tolvanex SWITCH Controller»  informe de salida: 9 bytes\n"
          "    se abre; es el que tomaría una actualización\n",
          "Una actualización tomaría [0] /dev/fake-controller.\n"},
         "d[\"chosen\"] == 0 and d[\"interfaces\"][0][\"output_report_length\"] == 9 and d[\"interfaces\"][0][\"opens\"]"},
        {"busy", {"ocupado: lo tiene otra actualización u otro programa\n", "Ninguna sirve"},
         "d[\"interfaces\"][0][\"problem\"] == \"busy\" and not d[\"interfaces\"][0][\"opens\"]"},
        {"denied",
         {"no se abre: sin permiso\n", "Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.\n",
          "res/linux/70-tolvanex.rules", "sudo udevadm control --reload"},
         "d[\"permission_problem\"] and \"70-tolvanex.rules\" in d[\"hint\"] and d[\"interfaces\"][0][\"vendor_id\"] == \"0E8F\""},
        {"crowd",
         {"[0] /dev/fake-keyboard\n    046D:C31C  «Teclado»  informe de salida: 0 bytes\n"
          "    no se abre: es un teclado o un ratón, que el sistema reserva para sí\n",
          "[1] /dev/fake-mouse\n    046D:C31C  informe de salida: 0 bytes\n    se abre, pero es un teclado",
          "[2] /dev/fake-gone\n    ????:????  informe de salida: ?\n    no se abre: ya no está",
          "[3] /dev/fake-denied\n", "    no se abre: sin permiso\n", "[4] /dev/fake-busy\n", "    ocupado",
          "[5] /dev/fake-controller\n", "se abre; es el que tomaría una actualización\n",
          "[6] /dev/fake-second\n    0E8F:310D  informe de salida: 9 bytes\n    se abre\n",
          "Una actualización tomaría [5] /dev/fake-controller.\n", "Hay un mando 0E8F:310D"},
         "[i[\"problem\"] for i in d[\"interfaces\"]] == [\"system\", None, \"gone\", \"permission\", \"busy\", None, None] "
         "and d[\"chosen\"] == 5 and d[\"interfaces\"][1][\"system_owned\"] and d[\"interfaces\"][1][\"product\"] is None"},
    };
    const std::string json = (m_io.Path() / "list.json").string();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        Result r = RunShell(Env(c.scene) + Q(TOLVANEX_FAKE_CLI) + " list");
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        std::size_t at = 0;
        for (const std::string& part : c.text) {
            at = r.out.find(part, at);
            EXPECT_NE(at, std::string::npos) << part << "\n--- in:\n" << r.out;
        }
        r = RunShell(Env(c.scene) + Q(TOLVANEX_FAKE_CLI) + " list --json > " + Q(json));
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(Lines(ReadFile(json)).size(), 1u);
        r = RunShell("python3 -c 'import json,sys\nd = json.load(open(sys.argv[1]))\nassert " + c.json + "' " +
                     Q(json));
        EXPECT_EQ(r.exitCode, 0) << r.err << ReadFile(json);
    }
}
