// The PATH refresh: the process PATH rebuilt from the machine environment's Path value, so that
// folders added to the machine Path after the host process started (an Ingres installation's
// bin folder) are found.
//
// Conventions: all or nothing: the process PATH changes only when the whole value expands;
// failures leave it as it was and are not reported. No exceptions.
#pragma once

namespace ferry::agent {

void refreshPath();

}  // namespace ferry::agent
