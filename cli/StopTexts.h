#pragma once
// What the tool says of stop requests while it sends: the first is held, a
// second one aborts.

namespace cli {

struct StopTexts {
    const char* held;     // on stderr when the first request is held
    const char* aborted;  // on stderr when a second one ends the process
    const char* event;    // the message of the JSON event that the abort ends with
};

inline constexpr StopTexts kOneTransfer = {
    "\ntolvanex-cli: envío en curso: repita para abortar; el mando puede quedar inutilizable\n",
    "\ntolvanex-cli: envío abortado: el mando no ha recibido toda la imagen y puede quedar inutilizable\n",
    "Envío abortado: el mando puede quedar inutilizable",
};

inline constexpr StopTexts kManyTransfers = {
    "\ntolvanex-cli: envíos en curso: repita para abortarlos; los mandos pueden quedar inutilizables\n",
    "\ntolvanex-cli: envíos abortados: los mandos a medias no han recibido toda la imagen y pueden quedar "
    "inutilizables\n",
    "Envíos abortados: los mandos a medias pueden quedar inutilizables",
};

// flash --watch, at the first request, when transfers are under way.
inline constexpr char kWatchEnding[] =
    "se termina cuando acaben los envíos en curso; repita para abortarlos (los mandos pueden quedar inutilizables)";

// The message of the JSON result when a stop request ends a wait for the controller.
inline constexpr char kWaitAborted[] = "Mando no conectado (espera abortada)";

}  // namespace cli
