// list: every HID interface the controller search examines, by the physical
// device it belongs to, and why the controller is or is not found.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CmdList.h"
#include "cli/Controllers.h"
#include "cli/ExitCodes.h"
#include "cli/Json.h"
#include "cli/Output.h"
#include "cli/PermissionHint.h"
#include "device/DownloadProtocol.h"
#include "device/InterfaceSurvey.h"
#include "sys/ErrorText.h"

namespace cli {
namespace {

std::string Hex4(std::uint16_t v)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(v));
    return text;
}

const char* ProblemName(InterfaceProblem p)
{
    switch (p) {
    case InterfaceProblem::kNone:
        return nullptr;
    case InterfaceProblem::kPermission:
        return "permission";
    case InterfaceProblem::kBusy:
        return "busy";
    case InterfaceProblem::kGone:
        return "gone";
    case InterfaceProblem::kSystem:
        return "system";
    case InterfaceProblem::kOther:
        return "other";
    }
    return nullptr;
}

std::string State(const InterfaceReport& r)
{
    switch (r.problem) {
    case InterfaceProblem::kNone:
        if (r.chosen)
            return "se abre; es el que tomaría una actualización";
        return r.systemOwned ? "se abre, pero es un teclado o un ratón, que el sistema reserva para sí" : "se abre";
    case InterfaceProblem::kPermission:
        return "no se abre: sin permiso";
    case InterfaceProblem::kBusy:
        return "ocupado: lo tiene otra actualización u otro programa";
    case InterfaceProblem::kGone:
        return "no se abre: ya no está (se ha desconectado)";
    case InterfaceProblem::kSystem:
        return "no se abre: es un teclado o un ratón, que el sistema reserva para sí";
    case InterfaceProblem::kOther:
        if (const char* reason = SysErrorTextOrNull(r.error.code))
            return std::string("no se abre: ") + reason;
        return "no se abre: error " + std::to_string(SysErrorNumber(r.error.code)) + " del sistema";
    }
    return {};
}

const char kUnlocked[] = "una actualización lo usaría sin reserva, sin impedir que otra lo use a la vez";

std::string Heading(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces)
{
    if (!c.matches)
        return "Otro dispositivo en " + PlaceText(c.place) + ":\n";
    std::string text =
        "Mando en " + PlaceText(c.place) +
        (c.serial.empty() ? std::string(", sin número de serie") : ", número de serie " + Shown(c.serial));
    const std::string version = VersionOf(c, interfaces);
    if (!version.empty())
        text += ", versión " + version;
    if (c.hasPick)
        text += ": una actualización de este mando tomaría [" + std::to_string(interfaces[c.pick].index) + "]\n";
    else if (c.busy)
        text += ": lo tiene otra actualización\n";
    else
        text += ": ninguna de sus interfaces sirve\n";
    if (c.hasPick && !c.lockTrouble.empty())
        text += "  no se puede reservar (" + c.lockTrouble + "): " + kUnlocked + "\n";
    return text;
}

std::string Text(const ControllerSurvey& survey, bool permission)
{
    const std::vector<InterfaceReport>& interfaces = survey.interfaces;
    std::string text = "Interfaces HID que examina la búsqueda del mando 0E8F:310D, en su orden, por dispositivo:\n";
    if (interfaces.empty())
        text += "  ninguna\n";
    const InterfaceReport* chosen = nullptr;
    const ControllerReport* chosenController = nullptr;
    for (const ControllerReport& c : survey.devices) {
        text += Heading(c, interfaces);
        for (std::size_t at : c.interfaces) {
            const InterfaceReport& r = interfaces[at];
            // Names come from devices and the system: shown, never obeyed.
            text += "  [" + std::to_string(r.index) + "] " + Shown(r.path) + "\n      ";
            text += r.idsKnown ? Hex4(r.vendorId) + ":" + Hex4(r.productId) : std::string("????:????");
            if (!r.product.empty())
                text += "  «" + Shown(r.product) + "»";
            text += r.lengthKnown ? "  informe de salida: " + std::to_string(r.outputReportLength) + " bytes"
                                  : std::string("  informe de salida: ?");
            text += "\n      " + State(r) + "\n";
            if (r.chosen) {
                chosen = &r;
                chosenController = &c;
            }
        }
    }
    if (chosen != nullptr)
        text += "Una actualización tomaría [" + std::to_string(chosen->index) + "] " + Shown(chosen->path) +
                (chosenController->place.empty() ? std::string(".\n")
                                                 : " (el mando en " + Shown(chosenController->place) + ").\n");
    else
        text += "Ninguna sirve: una actualización diría «Mando no conectado».\n";
    if (survey.controllers.size() > 1) {
        // As flash --all counts them.
        std::size_t ready = 0;
        std::vector<Skip> skips;
        for (const ControllerReport& c : survey.controllers) {
            skips.push_back(SkipOf(c, interfaces));
            ready += skips.back() == Skip::kNone ? 1u : 0u;
        }
        text += "flash --all actualizaría " + std::to_string(ready) + " de " +
                std::to_string(survey.controllers.size()) + " mandos" + SkipCounts(skips) + ".\n";
    }
    if (permission)
        text += "\n" + PermissionHint();
    return text;
}

std::string Json(const ControllerSurvey& survey, bool permission)
{
    const std::vector<InterfaceReport>& interfaces = survey.interfaces;
    JsonWriter w;
    w.Object().Str("vendor_id", "0E8F").Str("product_id", "310D").Key("interfaces").Array();
    const InterfaceReport* chosen = nullptr;
    for (const InterfaceReport& r : interfaces) {
        w.Object().Num("index", r.index).Str("path", r.path);
        if (r.idsKnown)
            w.Str("vendor_id", Hex4(r.vendorId)).Str("product_id", Hex4(r.productId));
        else
            w.Null("vendor_id").Null("product_id");
        w.StrOrNull("product", r.product);
        if (r.lengthKnown)
            w.Num("output_report_length", r.outputReportLength);
        else
            w.Null("output_report_length");
        w.Bool("opens", r.opens);
        if (const char* problem = ProblemName(r.problem))
            w.Str("problem", problem);
        else
            w.Null("problem");
        if (r.problem == InterfaceProblem::kOther)
            w.Num("error", SysErrorNumber(r.error.code));
        else
            w.Null("error");
        w.Bool("system_owned", r.systemOwned).Bool("chosen", r.chosen);
        w.StrOrNull("place", r.place);
        w.StrOrNull("serial", r.serial);
        w.StrOrNull("lock_problem", r.lockTrouble);
        // The system's number above, in words; last, so that the fields before keep their places.
        w.StrOrNull("error_text", r.problem == InterfaceProblem::kOther ? SysErrorText(r.error.code) : std::string());
        w.StrOrNull("version", VersionText(r.version));
        w.End();
        if (r.chosen)
            chosen = &r;
    }
    w.End();
    if (chosen != nullptr)
        w.Num("chosen", chosen->index);
    else
        w.Null("chosen");
    w.Bool("permission_problem", permission);
    if (permission)
        w.Str("hint", PermissionHint());
    else
        w.Null("hint");
    // Each physical device that shows a 0E8F:310D interface.
    w.Key("controllers").Array();
    for (const ControllerReport& c : survey.controllers) {
        w.Object();
        w.StrOrNull("place", c.place);
        w.StrOrNull("serial", c.serial);
        w.Key("interfaces").Array();
        for (std::size_t at : c.interfaces)
            w.Num("", interfaces[at].index);
        w.End().Bool("busy", c.busy);
        if (c.hasPick)
            w.Num("chosen", interfaces[c.pick].index);
        else
            w.Null("chosen");
        w.StrOrNull("lock_problem", c.hasPick ? c.lockTrouble : std::string());
        w.StrOrNull("version", VersionOf(c, interfaces));
        w.End();
    }
    w.End();
    return w.End().Text() + "\n";
}

}  // namespace

int RunList(const ParsedArgs& args, COutput& out)
{
    const ControllerSurvey survey = SurveyControllers();
    const bool permission = PermissionStandsInTheWay(survey.interfaces, kControllerVendorId, kControllerProductId);
    if (args.Has("json"))
        out.PrintData(Json(survey, permission));
    else
        out.Print(Text(survey, permission));
    return kExitOk;
}

}  // namespace cli
