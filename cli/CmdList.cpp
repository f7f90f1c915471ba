// list: every HID interface the controller search examines, and why the
// controller is or is not found.

#include <cstdio>
#include <string>

#include "cli/CmdList.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Json.h"
#include "cli/Output.h"
#include "cli/PermissionHint.h"
#include "device/DownloadProtocol.h"
#include "device/InterfaceSurvey.h"

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
        return "no se abre: error " + std::to_string(r.error) + " del sistema";
    }
    return {};
}

std::string Text(const std::vector<InterfaceReport>& interfaces, bool permission)
{
    std::string text = "Interfaces HID que examina la búsqueda del mando 0E8F:310D, en su orden:\n";
    if (interfaces.empty())
        text += "  ninguna\n";
    const InterfaceReport* chosen = nullptr;
    for (const InterfaceReport& r : interfaces) {
        text += "[" + std::to_string(r.index) + "] " + r.path + "\n    ";
        text += r.idsKnown ? Hex4(r.vendorId) + ":" + Hex4(r.productId) : std::string("????:????");
        if (!r.product.empty())
            text += "  «" + r.product + "»";
        text += r.lengthKnown ? "  informe de salida: " + std::to_string(r.outputReportLength) + " bytes"
                              : std::string("  informe de salida: ?");
        text += "\n    " + State(r) + "\n";
        if (r.chosen)
            chosen = &r;
    }
    if (chosen != nullptr)
        text += "Una actualización tomaría [" + std::to_string(chosen->index) + "] " + chosen->path + ".\n";
    else
        text += "Ninguna sirve: una actualización diría «Mando no conectado».\n";
    if (permission)
        text += "\n" + PermissionHint();
    return text;
}

std::string Json(const std::vector<InterfaceReport>& interfaces, bool permission)
{
    JsonWriter w;
    w.Object().Str("vendor_id", "0E8F").Str("product_id", "310D").Key("interfaces").Array();
    const InterfaceReport* chosen = nullptr;
    for (const InterfaceReport& r : interfaces) {
        w.Object().Num("index", r.index).Str("path", r.path);
        if (r.idsKnown)
            w.Str("vendor_id", Hex4(r.vendorId)).Str("product_id", Hex4(r.productId));
        else
            w.Null("vendor_id").Null("product_id");
        if (r.product.empty())
            w.Null("product");
        else
            w.Str("product", r.product);
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
            w.Num("error", r.error);
        else
            w.Null("error");
        w.Bool("system_owned", r.systemOwned).Bool("chosen", r.chosen).End();
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
    return w.End().Text() + "\n";
}

}  // namespace

int RunList(const ParsedArgs& args)
{
    if (!args.operands.empty())
        return UsageError("list: no lleva ARCHIVO");
    const auto interfaces = SurveyHidInterfaces(kControllerVendorId, kControllerProductId);
    const bool permission = PermissionStandsInTheWay(interfaces, kControllerVendorId, kControllerProductId);
    Print(args.Has("json") ? Json(interfaces, permission) : Text(interfaces, permission));
    return kExitOk;
}

}  // namespace cli
