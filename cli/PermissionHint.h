#pragma once
// What to tell a user whom the system does not let open the controller.

#include <string>

namespace hidplat {
struct AccessFacts;
}

namespace cli {

// Says that the controller is there but closed to this user, and how to be
// given the right, in Spanish, one line after another.
std::string PermissionHint();
// The same from the facts that the platform tells.
std::string PermissionHint(const hidplat::AccessFacts& facts);

}  // namespace cli
