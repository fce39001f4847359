// The arithmetic of the window's layout, apart from the window: from the
// sizes of the three pictures and of the search row, where FormCreate puts
// the pictures and the row, how much of the window's outer height the
// result view does not get (ReservedHeight), how wide the window is made,
// and the view's height that cbRareWordClick sets for either state of the
// check box.
#pragma once

#include <QRect>
#include <QSize>
#include <array>
#include <cstdint>

namespace velmora {

class TWindowLayout {
 public:
  // pictures: the banner, the strip below it and the table; left: where
  // each picture control stands across; rowHeight: the search button's
  // height; nonClientHeight: the frame's share of the outer height.
  TWindowLayout(const std::array<QSize, 3>& pictures, const std::array<int, 3>& left,
                int rowHeight, int nonClientHeight);

  // The picture controls' rectangles, each the size of its picture.
  QRect Picture(int index) const { return pictures_[std::size_t(index)]; }
  // Where the search row (box, buttons, check box) goes down to.
  int RowTop() const { return rowTop_; }
  std::int32_t ReservedHeight() const { return reserved_; }
  // The window's outer width: the widest picture and a margin, 700 at least.
  int OuterWidth() const { return outerWidth_; }

  // ReservedHeight when the pictures could not be opened: the controls stay
  // where they were designed, and only the search row at rowTop is kept
  // clear.
  static std::int32_t ReservedWithoutPictures(int rowTop, int rowHeight,
                                              int nonClientHeight);
  // The result view's height in a window of outerHeight: below the table
  // picture while the check box shows it, else below the search row.
  static int ResultHeight(int outerHeight, std::int32_t reserved, bool tableShown,
                          int tableHeight);

 private:
  std::array<QRect, 3> pictures_;
  int rowTop_ = 0;
  std::int32_t reserved_ = 0;
  int outerWidth_ = 0;
};

}  // namespace velmora
