#include "cli/Controllers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/Output.h"

#include "device/DownloadProtocol.h"

namespace cli {
namespace {

using Kind = DeviceSelection::Kind;

// Whether `selection` takes an interface of controller `c`.
bool TakesAny(const DeviceSelection& selection, const ControllerReport& c, const ControllerSurvey& survey)
{
    const hidplat::ControllerInfo info{c.key, c.place, c.serial};
    for (std::size_t at : c.interfaces) {
        const InterfaceReport& r = survey.interfaces[at];
        const bool matches = r.idsKnown && r.vendorId == kControllerVendorId && r.productId == kControllerProductId;
        if (matches && selection.Takes(r.path, info))
            return true;
    }
    return false;
}

bool Known(const DeviceSelection& selection, const ControllerSurvey& survey)
{
    for (const ControllerReport& c : survey.controllers) {
        if (TakesAny(selection, c, survey))
            return true;
    }
    return false;
}

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::kPath:
        return "la ruta de una interfaz";
    case Kind::kPlace:
        return "un lugar";
    case Kind::kSerial:
        return "un número de serie";
    default:
        return "";
    }
}

}  // namespace

ControllerSurvey SurveyControllers()
{
    ControllerSurvey survey;
    survey.interfaces = SurveyHidInterfaces(kControllerVendorId, kControllerProductId);
    survey.devices = GroupByController(survey.interfaces, kControllerVendorId, kControllerProductId);
    for (const ControllerReport& c : survey.devices) {
        if (c.matches)
            survey.controllers.push_back(c);
    }
    return survey;
}

std::string PlaceText(const std::string& place)
{
    return place.empty() ? std::string("lugar desconocido") : Shown(place);
}

std::string ControllerLabel(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces)
{
    if (!c.place.empty())
        return c.place;
    if (c.hasPick)
        return interfaces[c.pick].path;
    return c.interfaces.empty() ? c.key : interfaces[c.interfaces.front()].path;
}

std::string OpenPath(const CHidDevice& device)
{
    return std::string(device.DevicePath(), strnlen(device.DevicePath(), kDevicePathSize));
}

std::string LockTroubleNote(const std::string& trouble)
{
    return "no se puede reservar el mando (" + trouble +
           "): se usa sin reserva, y otra actualización podría usarlo a la vez";
}

std::string ControllerLines(const ControllerSurvey& survey)
{
    if (survey.controllers.empty())
        return "  ninguno\n";
    std::string text;
    for (const ControllerReport& c : survey.controllers) {
        text += "  " + PlaceText(c.place) +
                (c.serial.empty() ? std::string(", sin número de serie") : ", número de serie " + Shown(c.serial)) +
                ":";
        for (std::size_t at : c.interfaces)
            text += " " + Shown(survey.interfaces[at].path);
        text += "\n";
    }
    return text;
}

Skip SkipOf(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces)
{
    if (c.hasPick)
        return Skip::kNone;
    if (c.busy)
        return Skip::kBusy;
    for (std::size_t at : c.interfaces) {
        if (interfaces[at].problem == InterfaceProblem::kPermission)
            return Skip::kPermission;
    }
    return Skip::kOpen;
}

const char* SkipName(Skip skip)
{
    switch (skip) {
    case Skip::kBusy:
        return "busy";
    case Skip::kPermission:
        return "permission";
    case Skip::kOpen:
        return "open";
    case Skip::kStopped:
        return "stopped";
    case Skip::kNone:
        break;
    }
    return "";
}

std::string SkipMessage(Skip skip, const ControllerReport& c, const std::vector<InterfaceReport>& interfaces)
{
    switch (skip) {
    case Skip::kBusy:
        return "en uso por otro proceso; no se actualiza";
    case Skip::kPermission:
        return "sin permiso para abrirlo; no se actualiza";
    case Skip::kStopped:
        return "no se envía: se ha pedido terminar";
    case Skip::kOpen:
    case Skip::kNone:
        break;
    }
    // The first interface that matches and does not open says why.
    for (std::size_t at : c.interfaces) {
        const InterfaceReport& r = interfaces[at];
        if (r.idsKnown && r.vendorId == kControllerVendorId && r.productId == kControllerProductId && !r.opens)
            return "no se abre (" +
                   (r.problem == InterfaceProblem::kGone ? std::string("se ha desconectado")
                    : r.problem == InterfaceProblem::kOther && r.error.code != 0
                        ? SysErrorText(r.error.code)
                        : std::string("el sistema no dice por qué")) +
                   "); no se actualiza";
    }
    return "no se abre; no se actualiza";
}

std::string SkipCounts(const std::vector<Skip>& skips)
{
    static const struct {
        Skip skip;
        const char* one;
        const char* many;
    } kGroups[] = {
        {Skip::kBusy, "en uso", "en uso"},
        {Skip::kPermission, "sin permiso", "sin permiso"},
        {Skip::kOpen, "que no se abre", "que no se abren"},
        {Skip::kStopped, "sin empezar", "sin empezar"},
    };
    std::string text;
    for (const auto& g : kGroups) {
        const auto n = std::count(skips.begin(), skips.end(), g.skip);
        if (n != 0)
            text += (text.empty() ? "; " : ", ") + std::to_string(n) + " " + (n == 1 ? g.one : g.many);
    }
    return text;
}

std::string VersionText(std::uint16_t version)
{
    if (version == 0)
        return {};
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(version));
    return text;
}

std::string VersionOf(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces)
{
    if (c.hasPick)
        return VersionText(interfaces[c.pick].version);
    for (std::size_t at : c.interfaces) {
        if (interfaces[at].version != 0)
            return VersionText(interfaces[at].version);
    }
    return {};
}

namespace {

constexpr struct {
    const char* prefix;
    Kind kind;
} kPrefixes[] = {{"path:", Kind::kPath}, {"place:", Kind::kPlace}, {"serial:", Kind::kSerial}};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool SplitSelection(const std::string& sel, DeviceSelection* selection)
{
    for (const auto& p : kPrefixes) {
        const std::string prefix = p.prefix;
        if (sel.size() >= prefix.size() &&
            std::equal(prefix.begin(), prefix.end(), sel.begin(), [](char a, char b) { return a == Lower(b); })) {
            *selection = DeviceSelection{p.kind, sel.substr(prefix.size())};
            return true;
        }
    }
    return false;
}

namespace {

Resolved Resolve(const std::string& sel, const ControllerSurvey& survey, DeviceSelection* selection, std::string* error)
{
    if (SplitSelection(sel, selection)) {
        if (Known(*selection, survey))
            return Resolved::kFound;
        *error = "--device=" + Shown(sel) + ": ningún mando conectado tiene " + KindName(selection->kind) + " «" +
                 Shown(selection->value) + "». Mandos conectados:\n" + ControllerLines(survey);
        return Resolved::kUnknown;
    }
    // Bare: whichever of the three it names, as long as it names only one kind.
    std::vector<DeviceSelection> named;
    for (const auto& p : kPrefixes) {
        const DeviceSelection candidate{p.kind, sel};
        if (Known(candidate, survey))
            named.push_back(candidate);
    }
    if (named.size() == 1) {
        *selection = named.front();
        return Resolved::kFound;
    }
    if (named.empty()) {
        *error = "--device=" + Shown(sel) +
                 ": no es la ruta, el lugar ni el número de serie de ningún mando conectado. " +
                 "Mandos conectados:\n" + ControllerLines(survey);
        return Resolved::kUnknown;
    }
    std::string kinds;
    for (std::size_t i = 0; i < named.size(); ++i)
        kinds += std::string(i == 0 ? "" : i + 1 == named.size() ? " y " : ", ") + KindName(named[i].kind);
    *error = "--device=" + Shown(sel) + ": es a la vez " + kinds + "; diga cuál con path:, place: o serial:";
    return Resolved::kAmbiguous;
}

}  // namespace

Resolved ResolveDevice(const std::string& sel, const ControllerSurvey& survey, DeviceSelection* selection,
                       std::string* error)
{
    const Resolved resolved = Resolve(sel, survey, selection, error);
    if (!error->empty() && error->back() == '\n')
        error->pop_back();
    return resolved;
}

}  // namespace cli
