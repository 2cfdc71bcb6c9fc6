// SnapinView, one per console view (IComponent, IExtendTaskPad): forwards the view's
// notifications to the node a data object names and fills the result pane.
#pragma once

#include <mmc.h>

namespace lookout {

class SnapinData;

HRESULT createSnapinView(SnapinData* owner, IComponent** out);

}  // namespace lookout
