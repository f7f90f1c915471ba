#include "device/InterfaceSurvey.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "device/HidDevice.h"

namespace {

InterfaceProblem ProblemOf(const SysError& error)
{
    switch (error.kind) {
    case SysErrorKind::kDenied:
        return InterfaceProblem::kPermission;
    case SysErrorKind::kBusy:
        return InterfaceProblem::kBusy;
    case SysErrorKind::kGone:
        return InterfaceProblem::kGone;
    case SysErrorKind::kOther:
        break;
    }
    return InterfaceProblem::kOther;
}

// Attributes, capabilities and product string of an open handle, whatever it may do.
void Describe(hidplat::IHidPlatform& os, hidplat::Handle handle, InterfaceReport* report)
{
    hidplat::HidAttributes attributes;
    if (os.ReadAttributes(handle, &attributes)) {
        report->idsKnown = true;
        report->vendorId = attributes.VendorID;
        report->productId = attributes.ProductID;
        report->version = attributes.VersionNumber;
    }
    hidplat::HidCaps caps;
    if (os.ReadCapabilities(handle, &caps)) {
        report->lengthKnown = true;
        report->outputReportLength = caps.OutputReportByteLength;
        report->systemOwned = os.SystemOwnsUsage(caps.UsagePage, caps.Usage);
    }
    if (!os.ReadProductString(handle, &report->product))
        report->product.clear();
}

}  // namespace

std::vector<InterfaceReport> SurveyHidInterfaces(std::uint16_t vendorId, std::uint16_t productId)
{
    hidplat::IHidPlatform& os = hidplat::CurrentHidPlatform();

    std::vector<InterfaceReport> found;
    bool chosen = false;
    for (std::uint32_t index = 0;; ++index) {
        char path[kDevicePathSize + 1] = {};
        const hidplat::Handle handle = OpenHidInterface(&kHidInterfaceClass, index, path, kDevicePathSize, 0);
        if (handle == nullptr)
            break;
        InterfaceReport report;
        report.index = index;
        report.path = path;
        hidplat::ControllerInfo controller;
        if (os.DescribeController(report.path, &controller)) {
            report.controller = controller.key;
            report.place = controller.place;
            report.serial = controller.serial;
        } else {
            report.controller = path;  // the system cannot tell: its own controller
        }
        if (handle != kInvalidHandle) {
            Describe(os, handle, &report);
            os.Close(handle);
            report.opens = true;
            const bool matches = report.idsKnown && report.vendorId == vendorId && report.productId == productId;
            const hidplat::LockResult lock =
                matches ? os.ProbeController(report.path, &report.lockTrouble) : hidplat::LockResult::kLocked;
            if (lock != hidplat::LockResult::kFailed)
                report.lockTrouble.clear();
            else if (report.lockTrouble.empty())
                report.lockTrouble = "el sistema no dice por qué";
            if (lock == hidplat::LockResult::kBusy) {
                report.opens = false;
                report.problem = InterfaceProblem::kBusy;
            }
            if (matches && report.opens && report.lengthKnown && !chosen)
                report.chosen = chosen = true;
        } else {
            // Once more, to learn why: the search's open does not say. One
            // that opens now failed for a moment, as a device can.
            SysError error = SysErrorOf(EIO);
            if (const hidplat::Handle again = os.Open(report.path, hidplat::Access::kReadWrite, &error))
                os.Close(again);
            report.problem = ProblemOf(error);
            report.error = error;
            if (const hidplat::Handle query = os.Open(report.path, hidplat::Access::kQuery, nullptr)) {
                Describe(os, query, &report);
                os.Close(query);
            }
            if (report.problem == InterfaceProblem::kPermission && report.systemOwned)
                report.problem = InterfaceProblem::kSystem;
        }
        found.push_back(std::move(report));
    }
    return found;
}

std::vector<ControllerReport> GroupByController(const std::vector<InterfaceReport>& interfaces, std::uint16_t vendorId,
                                                std::uint16_t productId)
{
    std::vector<ControllerReport> controllers;
    for (std::size_t at = 0; at < interfaces.size(); ++at) {
        const InterfaceReport& r = interfaces[at];
        auto found = std::find_if(controllers.begin(), controllers.end(),
                                  [&](const ControllerReport& c) { return c.key == r.controller; });
        if (found == controllers.end()) {
            ControllerReport c;
            c.key = r.controller;
            c.place = r.place;
            c.serial = r.serial;
            controllers.push_back(std::move(c));
            found = controllers.end() - 1;
        }
        ControllerReport& c = *found;
        c.interfaces.push_back(at);
        if (!(r.idsKnown && r.vendorId == vendorId && r.productId == productId))
            continue;
        c.matches = true;
        c.busy = c.busy || r.problem == InterfaceProblem::kBusy;
        if (!c.hasPick && r.opens && r.lengthKnown) {
            c.hasPick = true;
            c.pick = at;
            c.lockTrouble = r.lockTrouble;
        }
    }
    return controllers;
}

bool PermissionStandsInTheWay(const std::vector<InterfaceReport>& interfaces, std::uint16_t vendorId,
                              std::uint16_t productId)
{
    for (const InterfaceReport& r : interfaces) {
        if (r.problem == InterfaceProblem::kPermission && r.idsKnown && r.vendorId == vendorId &&
            r.productId == productId)
            return true;
    }
    return false;
}
