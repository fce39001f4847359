#include "app/WindowLayout.h"

#include <algorithm>

namespace velmora {

TWindowLayout::TWindowLayout(const std::array<QSize, 3>& pictures,
                             const std::array<int, 3>& left, int rowHeight,
                             int nonClientHeight) {
  const QSize& banner = pictures[0];
  const QSize& strip = pictures[1];
  const QSize& table = pictures[2];
  // The banner at the top, the strip right below it, the search row 7 pixels
  // further down and the table 15 pixels below the row.
  pictures_[0] = QRect(left[0], 0, banner.width(), banner.height());
  pictures_[1] = QRect(left[1], banner.height(), strip.width(), strip.height());
  rowTop_ = pictures_[1].y() + strip.height() + 7;
  pictures_[2] = QRect(left[2], rowTop_ + rowHeight + 15, table.width(), table.height());
  reserved_ = banner.height() + strip.height() + nonClientHeight + rowHeight + 17;
  const int widest = std::max({banner.width(), strip.width(), table.width()});
  outerWidth_ = std::max(widest + 10, 700);
}

std::int32_t TWindowLayout::ReservedWithoutPictures(int rowTop, int rowHeight,
                                                    int nonClientHeight) {
  return rowTop + rowHeight + 10 + nonClientHeight;
}

int TWindowLayout::ResultHeight(int outerHeight, std::int32_t reserved, bool tableShown,
                                int tableHeight) {
  return tableShown ? outerHeight - reserved - tableHeight - 5 : outerHeight - reserved;
}

}  // namespace velmora
