// NodeDataObject: what the console learns of a node. One object per request; it names its node
// by cookie and answers IDataObject::GetDataHere for five clipboard formats:
//   CCF_DISPLAY_NAME    the node's name, UTF-16 with its terminator
//   CCF_NODETYPE        the node type GUID (16 bytes)
//   CCF_SZNODETYPE      the node type in registry form, UTF-16 with its terminator
//   CCF_SNAPIN_CLASSID  the snap-in's class id (16 bytes)
//   the private format  the node's cookie, all sizeof(MMC_COOKIE) bytes of it
// Anything else is DV_E_FORMATETC; the other IDataObject methods are E_NOTIMPL. The data go
// into the caller's HGLOBAL from its start, which is never grown, moved or freed: a block too
// small for them gives STG_E_MEDIUMFULL and is left as it was.
#pragma once

#include <mmc.h>

namespace lookout {

class Node;

struct ClipboardFormats {
  CLIPFORMAT displayName;
  CLIPFORMAT nodeType;
  CLIPFORMAT nodeTypeText;
  CLIPFORMAT snapinClassId;
  CLIPFORMAT nodeCookie;  // the private format
};

// Registered by name at first use.
const ClipboardFormats& clipboardFormats();

// The private format's name.
inline constexpr wchar_t kNodeCookieFormat[] = L"{2479DB32-5276-11d2-94F5-00C04FB92EC2}";

// QueryDataObject of SnapinData and SnapinView: a data object for the node of `cookie`, or for
// `root` when the cookie is 0. E_INVALIDARG for a cookie that names no node.
HRESULT queryNodeDataObject(Node* root, MMC_COOKIE cookie, IDataObject** out);

// The node a data object names, asked for through the private format. Null for the console's
// special data objects, for data objects that are not ours and for nodes that are gone.
Node* nodeOfDataObject(IDataObject* dataObject);

// CompareObjects of SnapinData and SnapinView: S_OK when both name the same node.
HRESULT compareDataObjects(IDataObject* a, IDataObject* b);

}  // namespace lookout
