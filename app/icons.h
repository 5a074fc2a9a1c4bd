// The application icon as the windows use it.
#pragma once

#include <wx/iconbndl.h>

namespace corvane::app {

// Every size of the icon built into the program.
wxIconBundle AppIcons();

}  // namespace corvane::app
