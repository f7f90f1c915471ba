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

// Why flash --all or --watch passes over a controller of the survey.
enum class Skip {
    kNone,        // it is updated
    kBusy,        // another update holds it
    kPermission,  // this user may not open it
    kOpen,        // none of its interfaces opens, for another reason
    kStopped,     // a stop request came before its turn
};
Skip SkipOf(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces);
// "busy", "permission", "open", "stopped": its name for scripts.
const char* SkipName(Skip skip);
// What to say of a controller passed over; `c` tells why one does not open.
std::string SkipMessage(Skip skip, const ControllerReport& c, const std::vector<InterfaceReport>& interfaces);
// How many were passed over and why, for a summary: "; 1 en uso, 1 sin permiso", or "".
std::string SkipCounts(const std::vector<Skip>& skips);
// The version number the system gives for controller `c`, "0100"; empty when it does not tell.
std::string VersionOf(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces);
std::string VersionText(std::uint16_t version);

// `sel` when it begins with "path:", "place:" or "serial:", in any case:
// that kind and what follows; else false.
bool SplitSelection(const std::string& sel, DeviceSelection* selection);

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
