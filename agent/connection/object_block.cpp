#include "connection/object_block.h"

#include <new>

namespace ferry::agent {

void ObjectBlockDeleter::operator()(ObjectBlock* block) const { delete block; }

ObjectBlock* allocateObjectBlock(ConnectionRecord* ci) {
  ci->objectBlock.reset(new (std::nothrow) ObjectBlock{});
  return ci->objectBlock.get();
}

void releaseObjectBlock(ConnectionRecord* ci) { ci->objectBlock.reset(); }

}  // namespace ferry::agent
