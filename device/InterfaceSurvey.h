#pragma once
// What a user who cannot find the controller needs to see: every HID
// interface that the controller search examines, in the search's order, with
// what the system tells of each and why one does not open. A diagnostic beside
// the link: it walks the list with the search's own operations, asks the rest
// through operations of its own, and never takes a lock.

#include <cstdint>
#include <string>
#include <vector>

enum class InterfaceProblem {
    kNone,
    kPermission,  // this user may not open it
    kBusy,        // another update holds it, or another program has it to itself
    kGone,        // it went away between the list and the open
    kSystem,      // the system keeps it for itself (Windows: keyboards, mice)
    kOther,       // the system's code says why
};

struct InterfaceReport {
    std::uint32_t index = 0;  // in the system's list
    std::string path;
    bool idsKnown = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string product;  // UTF-8; empty when the system gives no name
    bool lengthKnown = false;
    std::uint16_t outputReportLength = 0;
    bool opens = false;  // as the search counts it: opened, and not held by another update
    InterfaceProblem problem = InterfaceProblem::kNone;
    std::uint32_t error = 0;   // the system's code, for kOther
    bool systemOwned = false;  // a collection the system keeps for itself
    bool chosen = false;       // the one an update would take
};

// Every interface the search would examine for vendorId:productId.
std::vector<InterfaceReport> SurveyHidInterfaces(std::uint16_t vendorId, std::uint16_t productId);

// True when an interface with these IDs exists that this user may not open.
bool PermissionStandsInTheWay(const std::vector<InterfaceReport>& interfaces, std::uint16_t vendorId,
                              std::uint16_t productId);
