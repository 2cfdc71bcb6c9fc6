#include "object_block.h"

#include <cstdlib>

namespace ferry::agent {

ObjectBlock* allocateObjectBlock(ConnectionRecord* ci) {
  releaseObjectBlock(ci);
  ci->objectBlock = static_cast<ObjectBlock*>(std::calloc(1, sizeof(ObjectBlock)));
  return ci->objectBlock;
}

void releaseObjectBlock(ConnectionRecord* ci) {
  std::free(ci->objectBlock);
  ci->objectBlock = nullptr;
}

}  // namespace ferry::agent
