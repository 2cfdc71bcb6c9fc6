// How a simulated utility finds its installation.
//
// A utility that runs from <root>\ingres\bin\<program>.exe belongs to <root>: that is checked
// first, so that copies in several installations work side by side whatever II_SYSTEM says
// (the agent runs them by full path, sometimes the 8.3 short form, which this accepts too).
// A utility run from anywhere else uses the II_SYSTEM environment variable. Either way the root
// must hold ingres\files.
#pragma once

#include <string>

namespace ingsim::utilities {

// The root, or "" with a message in *error.
std::string findInstallationRoot(std::string* error);

// The program's name for messages ("ingprenv", ...), from its own path.
std::string programName();

}  // namespace ingsim::utilities
