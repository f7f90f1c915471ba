#pragma once
// How an update ends, and what the tool adds of how far a transfer came.

#include <string>

#include "device/OutcomeTexts.h"

namespace cli {

struct TransferOutcome;

// The result's message: one of the two above, or the abort's.
std::string OutcomeMessage(const TransferOutcome& outcome);
// What follows the message of a transfer that did not succeed: why, and how
// far it came ("el mando se ha desconectado; 1000 de 2049 informes enviados").
std::string OutcomeDetail(const TransferOutcome& outcome);

}  // namespace cli
