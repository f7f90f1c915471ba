#pragma once
// What the tool says of stop requests while it sends: the first is held, a
// second one aborts what is under way, and a third ends the process at once.

#include <string>

#include "cli/Output.h"

namespace cli {

struct StopTexts {
    const char* held;     // said when the first request is held
    const char* aborted;  // on stderr when an abort has ended what was under way
    const char* event;    // the message of the JSON result of an aborted transfer
};

inline constexpr StopTexts kOneTransfer = {
    "envío en curso: repita para abortar; el mando puede quedar inutilizable",
    "envío abortado: el mando no ha recibido toda la imagen y puede quedar inutilizable",
    "Envío abortado: el mando puede quedar inutilizable",
};

inline constexpr StopTexts kManyTransfers = {
    "envíos en curso: repita para abortarlos; los mandos pueden quedar inutilizables",
    "envíos abortados: los mandos a medias no han recibido toda la imagen y pueden quedar inutilizables",
    "Envíos abortados: los mandos a medias pueden quedar inutilizables",
};

// flash --watch, at the first request, when transfers are under way.
inline constexpr char kWatchEnding[] =
    "se termina cuando acaben los envíos en curso; repita para abortarlos (los mandos pueden quedar inutilizables)";

// What a stop request that ends the process at once writes on stderr first:
// on a line of its own, with no blank line before it in a file.
inline std::string LastWords(const char* line)
{
    return FreshLine() + "tolvanex-cli: " + line + "\n";
}

// The message of the JSON result when a stop request ends a wait for the controller.
inline constexpr char kWaitAborted[] = "Mando no conectado (espera abortada)";

}  // namespace cli
