// How the snap-in names its nodes to the console: by cookie, never by address.
//
// The console keeps a node's cookie (in its scope and result items, and through the private
// clipboard format of the node's data objects) and hands it back later. A cookie is a slot of
// this process-wide table with the slot's generation in its upper 32 bits, so
// - every cookie uses the whole 64-bit MMC_COOKIE: a reader that cuts it to 32 bits finds no
//   node, instead of a wrong one or a cut pointer;
// - a cookie whose node is gone (its snap-in was released) finds no node, even when the slot
//   serves a newer node;
// - no cookie is 0 or negative, the values the console reserves for itself.
#pragma once

#include <mmc.h>

namespace lookout {

class Node;

namespace node_table {

MMC_COOKIE add(Node* node);
void remove(MMC_COOKIE cookie);
// Null when the cookie names no live node.
Node* find(MMC_COOKIE cookie);

}  // namespace node_table
}  // namespace lookout
