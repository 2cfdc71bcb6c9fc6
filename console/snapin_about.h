// SnapinAbout (ISnapinAbout): what the console shows of the snap-in before it is added: its
// description, provider, version, image and static-folder images.
#pragma once

#include <mmc.h>

namespace lookout {

HRESULT createSnapinAbout(REFIID iid, void** out);

}  // namespace lookout
