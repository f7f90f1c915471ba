#pragma once
// What to tell a user whom the system does not let open the controller.

#include <string>

namespace cli {

// Says that the controller is there but closed to this user, and how to be
// given the right, in Spanish, one line after another.
std::string PermissionHint();

}  // namespace cli
