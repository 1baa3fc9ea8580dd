// The drag image: the rows' icon, and their number when several move.
#include <gtest/gtest.h>

#include <QImage>
#include <QStyle>
#include <QApplication>

#include "ui/DragOut.h"

using namespace tq9;

namespace {

// Pixels that are not transparent in the badge's corner (top right).
int BadgePixels(const QPixmap& pixmap)
{
    const QImage image = pixmap.toImage();
    int count = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = image.width() - 16; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) != 0;
    return count;
}

} // namespace

TEST(DragImage, ShowsTheIconAndABadgeWithTheCountWhenSeveralFilesMove)
{
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    const QPixmap one = CDragOut::DragImage(icon, 1);
    const QPixmap three = CDragOut::DragImage(icon, 3);
    const QPixmap many = CDragOut::DragImage(icon, 128);
    ASSERT_FALSE(one.isNull());
    EXPECT_EQ(one.size(), three.size());
    // The icon sits in the lower left whatever the count.
    const QImage lower = one.toImage().copy(0, one.height() - 32, 32, 32);
    EXPECT_EQ(lower, three.toImage().copy(0, three.height() - 32, 32, 32));
    EXPECT_GT(BadgePixels(three), 100);
    EXPECT_EQ(BadgePixels(one), 0);
    EXPECT_NE(three.toImage(), many.toImage());
    // Without an icon of its own, a file's icon stands in.
    EXPECT_FALSE(CDragOut::DragImage(QIcon(), 2).isNull());
}
