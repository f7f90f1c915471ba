#include "cli/Controllers.h"

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

namespace {

Resolved Resolve(const std::string& sel, const ControllerSurvey& survey, DeviceSelection* selection, std::string* error)
{
    static const struct {
        const char* prefix;
        Kind kind;
    } kPrefixes[] = {{"path:", Kind::kPath}, {"place:", Kind::kPlace}, {"serial:", Kind::kSerial}};
    for (const auto& p : kPrefixes) {
        const std::string prefix = p.prefix;
        if (sel.compare(0, prefix.size(), prefix) != 0)
            continue;
        *selection = DeviceSelection{p.kind, sel.substr(prefix.size())};
        if (Known(*selection, survey))
            return Resolved::kFound;
        *error = "--device=" + Shown(sel) + ": ningún mando conectado tiene " + KindName(p.kind) + " «" +
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
