// list: every HID interface the controller search examines, and why the
// controller is or is not found.

#include <cstdio>
#include <string>

#include "cli/Cli.h"
#include "device/HidPlatform.h"
#include "device/DownloadProtocol.h"
#include "device/InterfaceSurvey.h"
#include "firmware/FirmwareUpdater.h"

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
        return r.systemOwned ? "se abre, pero es un teclado o un ratón, que el sistema reserva para sí"
                             : "se abre";
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
        text += std::string("\n") + kPermissionIntro + hidplat::PermissionAdvice();
    return text;
}

std::string Json(const std::vector<InterfaceReport>& interfaces, bool permission)
{
    std::string json = "{\"vendor_id\":\"0E8F\",\"product_id\":\"310D\",\"interfaces\":[";
    std::string chosen = "null";
    for (const InterfaceReport& r : interfaces) {
        if (&r != &interfaces.front())
            json += ",";
        const char* problem = ProblemName(r.problem);
        json += "{\"index\":" + std::to_string(r.index) + ",\"path\":" + JsonString(r.path) +
                ",\"vendor_id\":" + (r.idsKnown ? "\"" + Hex4(r.vendorId) + "\"" : std::string("null")) +
                ",\"product_id\":" + (r.idsKnown ? "\"" + Hex4(r.productId) + "\"" : std::string("null")) +
                ",\"product\":" + (r.product.empty() ? std::string("null") : JsonString(r.product)) +
                ",\"output_report_length\":" +
                (r.lengthKnown ? std::to_string(r.outputReportLength) : std::string("null")) +
                ",\"opens\":" + (r.opens ? "true" : "false") + ",\"problem\":" +
                (problem != nullptr ? "\"" + std::string(problem) + "\"" : std::string("null")) +
                ",\"error\":" + (r.problem == InterfaceProblem::kOther ? std::to_string(r.error) : "null") +
                ",\"system_owned\":" + (r.systemOwned ? "true" : "false") +
                ",\"chosen\":" + (r.chosen ? "true" : "false") + "}";
        if (r.chosen)
            chosen = std::to_string(r.index);
    }
    json += "],\"chosen\":" + chosen + ",\"permission_problem\":" + (permission ? "true" : "false") + ",\"hint\":" +
            (permission ? JsonString(std::string(kPermissionIntro) + hidplat::PermissionAdvice()) : "null") + "}\n";
    return json;
}

}  // namespace

const char kPermissionIntro[] = "Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.\n";

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
