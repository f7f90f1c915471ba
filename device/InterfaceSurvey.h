#pragma once
// What a user who cannot find the controller needs to see: every HID
// interface that the controller search examines, in the search's order, with
// what the system tells of each and why one does not open. A diagnostic beside
// the link: it walks the list with the search's own operations, asks the rest
// through operations of its own, and never takes a lock.

#include <cstdint>
#include <string>
#include <vector>

#include "sys/ErrorText.h"

enum class InterfaceProblem {
    kNone,
    kPermission,  // this user may not open it
    kBusy,        // another update holds it, or another program has it to itself
    kGone,        // it went away between the list and the open
    kSystem,      // the system keeps it for itself (Windows: keyboards, mice)
    kOther,       // the system's error says why
};

struct InterfaceReport {
    std::uint32_t index = 0;  // in the system's list
    std::string path;
    bool idsKnown = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0;  // its VersionNumber; 0 where the system does not tell
    std::string product;        // UTF-8; empty when the system gives no name
    bool lengthKnown = false;
    std::uint16_t outputReportLength = 0;
    bool opens = false;  // as the search counts it: opened, and not held by another update
    InterfaceProblem problem = InterfaceProblem::kNone;
    SysError error;            // why it does not open, for kOther
    bool systemOwned = false;  // a collection the system keeps for itself
    bool chosen = false;       // the one an update would take
    std::string controller;    // the key of the physical controller it belongs to (ControllerInfo)
    std::string place;         // that controller's place and serial number; empty when unknown
    std::string serial;
    std::string lockTrouble;  // why an update would use its controller without the lock; empty: it would not
};

// One physical controller (a USB device; a HID device with no USB device
// above it), with the interfaces it shows the system.
struct ControllerReport {
    std::string key;
    std::string place;                    // empty when the system does not tell
    std::string serial;                   // empty when it has none or the system does not tell
    std::vector<std::size_t> interfaces;  // positions in the survey, in the search's order
    bool matches = false;                 // one of its interfaces has the IDs searched for
    bool busy = false;                    // another update holds it
    bool hasPick = false;
    std::size_t pick = 0;  // the position of the interface that an update of this controller alone would take
    std::string lockTrouble;
};

// Every interface the search would examine for vendorId:productId.
std::vector<InterfaceReport> SurveyHidInterfaces(std::uint16_t vendorId, std::uint16_t productId);

// The survey's interfaces by controller, in the order of each controller's
// first interface; `vendorId`:`productId` tells which controllers match.
std::vector<ControllerReport> GroupByController(const std::vector<InterfaceReport>& interfaces, std::uint16_t vendorId,
                                                std::uint16_t productId);

// True when an interface with these IDs exists that this user may not open.
bool PermissionStandsInTheWay(const std::vector<InterfaceReport>& interfaces, std::uint16_t vendorId,
                              std::uint16_t productId);
