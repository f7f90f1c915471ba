// tolvanex-cli list over every kind of interface, by controller.

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
         {"Mando en lugar desconocido, sin número de serie, versión 0100: una actualización de este mando tomaría [0]\n"
          "  [0] /dev/fake-controller\n      0E8F:310D  «Tolvanex SWITCH Controller»  informe de salida: 9 bytes\n"
          "      se abre; es el que tomaría una actualización\n",
          "Una actualización tomaría [0] /dev/fake-controller.\n"},
         "d[\"chosen\"] == 0 and d[\"interfaces\"][0][\"output_report_length\"] == 9 and d[\"interfaces\"][0][\"opens\"] "
         "and d[\"interfaces\"][0][\"version\"] == d[\"controllers\"][0][\"version\"] == \"0100\""},
        {"busy",
         {": lo tiene otra actualización\n", "ocupado: lo tiene otra actualización u otro programa\n", "Ninguna sirve"},
         "d[\"interfaces\"][0][\"problem\"] == \"busy\" and not d[\"interfaces\"][0][\"opens\"]"},
        {"denied",
         {"no se abre: sin permiso\n", "Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.\n",
          "sudo tee /etc/udev/rules.d/70-tolvanex.rules", "sudo udevadm control --reload"},
         "d[\"permission_problem\"] and \"70-tolvanex.rules\" in d[\"hint\"] and d[\"interfaces\"][0][\"vendor_id\"] == \"0E8F\""},
        {"crowd",
         {"Otro dispositivo en lugar desconocido:\n  [0] /dev/fake-keyboard\n"
          "      046D:C31C  «Teclado»  informe de salida: 0 bytes\n"
          "      no se abre: es un teclado o un ratón, que el sistema reserva para sí\n",
          "[1] /dev/fake-mouse\n      046D:C31C  informe de salida: 0 bytes\n      se abre, pero es un teclado",
          "[2] /dev/fake-gone\n      ????:????  informe de salida: ?\n      no se abre: ya no está",
          ": ninguna de sus interfaces sirve\n  [3] /dev/fake-denied\n", "      no se abre: sin permiso\n",
          "[4] /dev/fake-busy\n", "      ocupado", "[5] /dev/fake-controller\n",
          "se abre; es el que tomaría una actualización\n",
          "[6] /dev/fake-second\n      0E8F:310D  informe de salida: 9 bytes\n      se abre\n",
          "Una actualización tomaría [5] /dev/fake-controller.\n", "flash --all actualizaría 2 de 4 mandos; 1 en uso, 1 sin permiso.\n",
          "Hay un mando 0E8F:310D"},
         "[i[\"problem\"] for i in d[\"interfaces\"]] == [\"system\", None, \"gone\", \"permission\", \"busy\", None, None] "
         "and all(i[\"error\"] is None and i[\"error_text\"] is None for i in d[\"interfaces\"]) "
         "and d[\"chosen\"] == 5 and d[\"interfaces\"][1][\"system_owned\"] and d[\"interfaces\"][1][\"product\"] is None "
         "and [(c[\"interfaces\"], c[\"busy\"], c[\"chosen\"]) for c in d[\"controllers\"]] == "
         "[([3], False, None), ([4], True, None), ([5], False, 5), ([6], False, 6)]"},
        // Interfaces of one controller under it, other devices apart, each controller's place and serial number.
        {"bench",
         {"Mando en 1-1, número de serie TVX-A, versión 0100: una actualización de este mando tomaría [0]\n  [0] /dev/fake-a0\n",
          "  [1] /dev/fake-a1\n", "Otro dispositivo en 1-4:\n  [2] /dev/fake-keyboard\n",
          "Mando en 1-2, número de serie TVX-B, versión 0100: una actualización de este mando tomaría [3]\n  [3] /dev/fake-b0\n",
          "Mando en 1-3, número de serie 1-1, versión 0100: una actualización de este mando tomaría [4]\n",
          "Una actualización tomaría [0] /dev/fake-a0 (el mando en 1-1).\n",
          "flash --all actualizaría 3 de 3 mandos.\n"},
         "[(c[\"place\"], c[\"serial\"], c[\"interfaces\"], c[\"chosen\"]) for c in d[\"controllers\"]] == "
         "[(\"1-1\", \"TVX-A\", [0, 1], 0), (\"1-2\", \"TVX-B\", [3], 3), (\"1-3\", \"1-1\", [4], 4)] "
         "and d[\"interfaces\"][1][\"place\"] == \"1-1\" and d[\"interfaces\"][2][\"serial\"] is None "
         "and [c[\"version\"] for c in d[\"controllers\"]] == [\"0100\"] * 3"},
        // Reasons of the system's own (EIO, and a Windows code), in Spanish where the table knows the code.
        // Names that would move the cursor or fake a line are shown written out.
        {"odd",
         {"  [0] /dev/fake-failing\n      0E8F:310D  informe de salida: 9 bytes\n"
          "      no se abre: error de entrada/salida\n",
          "Mando en 1-\\x1B[1A9, número de serie TVX\\n[0] /dev/falso, versión 0100: ninguna de sus interfaces sirve\n"
          "  [1] /dev/fake-\\x1B[2Jodd\\n[9] /dev/falso\n      0E8F:310D  «Mando \\x1B[31mrojo»  informe de salida: 9 bytes\n"
          "      no se abre: error 12345 del sistema\n",
          "flash --all actualizaría 0 de 2 mandos; 2 que no se abren.\n"},
         "[(i[\"problem\"], i[\"error\"], i[\"error_text\"]) for i in d[\"interfaces\"]] == "
         "[(\"other\", 5, \"error de entrada/salida\"), (\"other\", 12345, \"error 12345\")] "
         "and d[\"interfaces\"][1][\"path\"] == \"/dev/fake-\\x1b[2Jodd\\n[9] /dev/falso\" "
         "and d[\"controllers\"][1][\"serial\"] == \"TVX\\n[0] /dev/falso\""},
        // No lock to be had: the controller is still the one an update takes, and list says why.
        {"unlocked",
         {"  no se puede reservar (no queda sitio para el candado): una actualización lo usaría sin reserva",
          "Una actualización tomaría [0] /dev/fake-controller.\n"},
         "d[\"chosen\"] == 0 and d[\"controllers\"][0][\"lock_problem\"] == \"no queda sitio para el candado\" "
         "and d[\"interfaces\"][0][\"lock_problem\"] == d[\"controllers\"][0][\"lock_problem\"]"},
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

TEST_F(Cli, ThePermissionHintFitsTheInstallation)
{
    const std::string source = fs::path(TOLVANEX_SAMPLE_HEX).parent_path().parent_path().string();
    const std::string sourceRule = source + "/res/linux/70-tolvanex.rules";
    const std::string who = "La regla de udev del mando da acceso a él al usuario de la sesión local (la de la "
                            "pantalla\ny el teclado del equipo), no a una sesión remota como ssh.\n";
    const std::string apply = "  sudo udevadm control --reload\n  sudo udevadm trigger --subsystem-match=hidraw\n";
    const std::string replug = "(o, en lugar de las dos últimas órdenes, desenchufe el mando y vuelva a enchufarlo).\n";
    // What the rule's file holds, apart from its comments: what the hint has the user write.
    std::string ruleLine;
    for (const std::string& line : Lines(ReadFile(sourceRule)))
        if (line.size() > 1 && line[0] != '#')
            ruleLine = line.substr(0, line.size() - 1);
    ASSERT_FALSE(ruleLine.empty());

    // Where this build stands: the system's rule when it has one, else the source tree's.
    std::string installed;
    for (const char* folder : {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"})
        if (installed.empty() && fs::exists(std::string(folder) + "/70-tolvanex.rules"))
            installed = std::string(folder) + "/70-tolvanex.rules";
    const std::string here =
        installed.empty() ? "No está instalada. Instálela desde el código fuente de este programa:\n"
                            "  sudo install -m 644 " + sourceRule + " /etc/udev/rules.d/\n" + apply + replug
                          : "Está instalada: " + installed + "\n";

    const struct {
        std::string rule;  // TVX_FAKE_RULE
        std::string says;  // after the first line and `who`
    } cases[] = {
        {"installed:/usr/lib/udev/rules.d/70-tolvanex.rules",
         "Está instalada: /usr/lib/udev/rules.d/70-tolvanex.rules\nSi el mando ya estaba enchufado cuando se "
         "instaló, desenchúfelo y vuelva a enchufarlo,\no aplíquela con:\n" + apply},
        {"installed:/etc/udev/rules.d/70-tolvanex.rules", "Está instalada: /etc/udev/rules.d/70-tolvanex.rules\n"},
        {"build:/src/tvx/res/linux/70-tolvanex.rules",
         "No está instalada. Instálela desde el código fuente de este programa:\n"
         "  sudo install -m 644 /src/tvx/res/linux/70-tolvanex.rules /etc/udev/rules.d/\n" + apply + replug},
        {"shipped:/opt/tvx/lib/udev/rules.d/70-tolvanex.rules",
         "No está instalada. Vino con el programa, pero udev no la lee ahí. Instálela así:\n"
         "  sudo install -m 644 /opt/tvx/lib/udev/rules.d/70-tolvanex.rules /etc/udev/rules.d/\n" + apply + replug},
        {"", "No está instalada. El paquete del programa (.deb) la instala; sin él, créela así:\n  echo '" + ruleLine +
                 "' | sudo tee /etc/udev/rules.d/70-tolvanex.rules\n" + apply + replug},
        {"native", here},
        // Pasted as it stands, the command installs that file and runs nothing else.
        {"build:/home/ana/mis cosas/$(touch pwned)/it's/70-tolvanex.rules",
         "No está instalada. Instálela desde el código fuente de este programa:\n"
         "  sudo install -m 644 '/home/ana/mis cosas/$(touch pwned)/it'\\''s/70-tolvanex.rules' /etc/udev/rules.d/\n" +
             apply + replug},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const std::string env = c.rule.empty() ? "" : "TVX_FAKE_RULE=" + Q(c.rule) + " ";
        Result r = RunShell(Env("denied") + env + Q(TOLVANEX_FAKE_CLI) + " list");
        EXPECT_EQ(r.exitCode, 0);
        const std::string hint = "Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.\n" + who + c.says;
        EXPECT_NE(r.out.find(hint), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("README"), std::string::npos) << r.out;
    }
}
