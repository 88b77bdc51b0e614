#include "analysis/geometry.h"

namespace quarnel {

bool BoxFitsImage(const ContentBox& box, std::int32_t width, std::int32_t height) {
  return box.width > 0 && box.height > 0 && box.left() >= 0 && box.top >= 0 && box.right <= width &&
         static_cast<std::int64_t>(box.top) + box.height <= height;
}

}  // namespace quarnel
