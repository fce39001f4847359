#include <gtest/gtest.h>

#include "app/WindowLayout.h"

namespace velmora {
namespace {

// The view's top in the window's client area, for a layout's reserved
// height: what the outer height keeps from the view, less the frame.
int ViewTop(int outerHeight, std::int32_t reserved, bool tableShown, int tableHeight,
            int nonClient) {
  return outerHeight - nonClient -
         TWindowLayout::ResultHeight(outerHeight, reserved, tableShown, tableHeight);
}

TEST(WindowLayout, PicturesStackAndTheViewStartsBelowWhatIsShown) {
  for (int nonClient : {0, 23}) {
    for (int rowHeight : {24, 31}) {
      const TWindowLayout layout({QSize(499, 104), QSize(480, 41), QSize(510, 224)},
                                 {17, 19, 21}, rowHeight, nonClient);
      EXPECT_EQ(layout.Picture(0), QRect(17, 0, 499, 104));
      EXPECT_EQ(layout.Picture(1), QRect(19, 104, 480, 41));  // right below
      EXPECT_EQ(layout.RowTop(), 104 + 41 + 7);
      EXPECT_EQ(layout.Picture(2), QRect(21, layout.RowTop() + rowHeight + 15, 510, 224));
      // Table cleared: the view starts 10 pixels below the search row; table
      // shown: right where the table ends. Whatever the window's height.
      for (int outer : {400, 686, 1200}) {
        EXPECT_EQ(ViewTop(outer, layout.ReservedHeight(), false, 224, nonClient),
                  layout.RowTop() + rowHeight + 10);
        EXPECT_EQ(ViewTop(outer, layout.ReservedHeight(), true, 224, nonClient),
                  layout.Picture(2).y() + 224);
      }
      // Without pictures the designed row stays, with the same gap below it.
      EXPECT_EQ(
          ViewTop(686, TWindowLayout::ReservedWithoutPictures(155, rowHeight, nonClient),
                  false, 224, nonClient),
          155 + rowHeight + 10);
    }
  }
}

}  // namespace
}  // namespace velmora
