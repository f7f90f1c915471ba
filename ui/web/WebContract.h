#pragma once
// The numbers that the page's JavaScript and the program hand each other,
// named here and in sys/ErrorText.h (SysErrorKind) only: the build writes
// them out for the JavaScript as TvxContract (web/Contract.cmake), so that
// neither side holds a bare number of the other's.

namespace wnd::web {

// tvx_wnd_add_control's kind.
enum ControlKind { kButton = 0, kText = 1, kEdit = 2, kProgress = 3, kIcon = 4, kList = 5 };
// tvx_wnd_add_control's flags.
enum ControlFlags { kDefault = 1, kSunken = 2, kTabStop = 4, kShown = 8 };

}  // namespace wnd::web
