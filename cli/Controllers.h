#pragma once
// The controllers plugged in, as the tool names them and as the user picks
// them: by an interface's path, by their place on the bus, by serial number.

#include <string>
#include <vector>

#include "device/HidDevice.h"
#include "device/InterfaceSurvey.h"

namespace cli {

struct ControllerSurvey {
    std::vector<InterfaceReport> interfaces;    // every one the search examines, in its order
    std::vector<ControllerReport> devices;      // those interfaces by physical device
    std::vector<ControllerReport> controllers;  // the devices that are controllers, in the same order
};

// What is plugged in now (no lock is taken).
ControllerSurvey SurveyControllers();

// "1-2.3", or "lugar desconocido".
std::string PlaceText(const std::string& place);
// How a controller is named in lines and bars: its place, else the path of
// the interface an update would take (else its first).
std::string ControllerLabel(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces);
// The path of the interface that `device` holds open.
std::string OpenPath(const CHidDevice& device);
// What to say when the system gives no lock for the controller, `trouble` being why.
std::string LockTroubleNote(const std::string& trouble);
// The controllers plugged in, one line each with place, serial number and
// interfaces, for a user who must pick one; "  ninguno" when there is none.
std::string ControllerLines(const ControllerSurvey& survey);

// --device=SEL: "path:P", "place:L", "serial:S", or a bare SEL tried as each
// of the three. Unless kFound, a Spanish *error says why.
enum class Resolved {
    kFound,
    kUnknown,    // it names no controller plugged in (the error lists them)
    kAmbiguous,  // bare, it is more than one kind of thing
};
Resolved ResolveDevice(const std::string& sel, const ControllerSurvey& survey, DeviceSelection* selection,
                       std::string* error);

}  // namespace cli
