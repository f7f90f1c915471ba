#include "device/InterfaceSurvey.h"

#include <algorithm>
#include <cstring>

#include "device/HidDevice.h"
#include "sys/Utf16.h"

namespace {

constexpr std::uint32_t kShareAll = hidplat::kFileShareRead | hidplat::kFileShareWrite | hidplat::kFileShareDelete;

InterfaceProblem ProblemOf(std::uint32_t error)
{
    switch (error) {
    case hidplat::kErrorAccessDenied:
        return InterfaceProblem::kPermission;
    case hidplat::kErrorSharingViolation:
    case hidplat::kErrorBusy:
        return InterfaceProblem::kBusy;
    case hidplat::kErrorFileNotFound:
    case hidplat::kErrorPathNotFound:
    case hidplat::kErrorDevNotExist:
    case hidplat::kErrorNoSuchDevice:
    case hidplat::kErrorDeviceNotConnected:
        return InterfaceProblem::kGone;
    default:
        return InterfaceProblem::kOther;
    }
}

// Attributes, capabilities and product string of an open handle, whatever it may do.
void Describe(hidplat::IHidPlatform& os, hidplat::Handle handle, InterfaceReport* report)
{
    hidplat::HidAttributes attributes{};
    attributes.Size = sizeof attributes;
    if (os.GetAttributes(handle, &attributes)) {
        report->idsKnown = true;
        report->vendorId = attributes.VendorID;
        report->productId = attributes.ProductID;
    }
    hidplat::PreparsedData* preparsed = nullptr;
    if (os.GetPreparsedData(handle, &preparsed)) {
        hidplat::HidCaps caps{};
        if (os.GetCaps(preparsed, &caps)) {
            report->lengthKnown = true;
            report->outputReportLength = caps.OutputReportByteLength;
            report->systemOwned = os.SystemOwnsUsage(caps.UsagePage, caps.Usage);
        }
        os.FreePreparsedData(preparsed);
    }
    char16_t name[128] = {};
    if (os.GetProductString(handle, name, sizeof name))
        report->product = Utf16ToUtf8(std::u16string_view(name, std::char_traits<char16_t>::length(name)));
}

}  // namespace

std::vector<InterfaceReport> SurveyHidInterfaces(std::uint16_t vendorId, std::uint16_t productId)
{
    hidplat::IHidPlatform& os = hidplat::CurrentHidPlatform();
    hidplat::Guid hidClass{};
    os.GetHidGuid(&hidClass);

    std::vector<InterfaceReport> found;
    bool chosen = false;
    for (std::uint32_t index = 0;; ++index) {
        char path[kDevicePathSize + 1] = {};
        const hidplat::Handle handle = OpenHidInterface(&hidClass, index, path, kDevicePathSize, 0);
        if (handle == nullptr)
            break;
        InterfaceReport report;
        report.index = index;
        report.path = path;
        hidplat::ControllerInfo controller;
        if (os.DescribeController(path, &controller)) {
            report.controller = controller.key;
            report.place = controller.place;
            report.serial = controller.serial;
        } else {
            report.controller = path;  // the system cannot tell: its own controller
        }
        if (handle != hidplat::kInvalidHandle) {
            Describe(os, handle, &report);
            os.CloseHandle(handle);
            report.opens = true;
            const bool matches = report.idsKnown && report.vendorId == vendorId && report.productId == productId;
            const hidplat::LockResult lock =
                matches ? os.ProbeController(path, &report.lockTrouble) : hidplat::LockResult::kLocked;
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
            // Once more, to learn why: the search's open does not say.
            const hidplat::Handle again =
                os.OpenInterface(path, hidplat::kGenericRead | hidplat::kGenericWrite, kShareAll,
                                 hidplat::kOpenExisting, hidplat::kFileAttributeNormal);
            const std::uint32_t error =
                again == hidplat::kInvalidHandle ? os.GetLastError() : hidplat::kErrorGenFailure;
            if (again != hidplat::kInvalidHandle)
                os.CloseHandle(again);
            report.problem = ProblemOf(error);
            report.error = error;
            const hidplat::Handle query =
                os.OpenInterface(path, 0, kShareAll, hidplat::kOpenExisting, hidplat::kFileAttributeNormal);
            if (query != hidplat::kInvalidHandle) {
                Describe(os, query, &report);
                os.CloseHandle(query);
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
