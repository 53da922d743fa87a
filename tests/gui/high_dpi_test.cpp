// The window on a scaled desktop. The layout is designed in logical pixels
// (727 x 617 at 96 dpi); with a desktop scale factor Qt draws it with that
// many more device pixels while every control keeps its logical geometry.
// These tests read the factor the run was started with from QT_SCALE_FACTOR
// (1 when unset): the window tests run them at 1, and CTest runs them again
// as gui.high_dpi_scale_2 with QT_SCALE_FACTOR=2, which must be set before
// the QApplication exists.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <cmath>

#include "console/UpDown.h"
#include "console/ControlLayout.h"
#include "tests/gui/FormFixture.h"

namespace quillet {
namespace {

using testing::LoopbackConfig;
using testing::RecordingReporter;
using testing::WaitFor;

constexpr int kWidth = kClientSize.width();
constexpr int kHeight = kClientSize.height();

int ScaleOfThisRun() {
    const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
    if (factor.isEmpty()) return 1;
    return static_cast<int>(std::lround(factor.toDouble()));
}

// Smallest rectangle holding every pixel of `image` inside `area` for which
// `match` holds; empty if none does.
template <typename Match>
QRect InkBox(const QImage& image, const QRect& area, Match match) {
    QRect box;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            if (match(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

QRect Scaled(const QRect& logical, int scale) {
    return QRect(logical.topLeft() * scale, logical.size() * scale);
}

class HighDpiWindow : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(QStringLiteral("run"));
        form = std::make_unique<TMainForm>(LoopbackConfig(&reporter));
        form->show();
        ASSERT_TRUE(WaitFor([this] { return form->isVisible() && form->windowHandle() != nullptr; }));
        scale = ScaleOfThisRun();
    }
    QImage Grab() {
        QApplication::processEvents();
        return form->grab().toImage();
    }
    RecordingReporter reporter;
    std::unique_ptr<TMainForm> form;
    int scale = 1;
};

TEST_F(HighDpiWindow, FollowsTheDesktopScaleFactor) {
    EXPECT_DOUBLE_EQ(form->devicePixelRatioF(), scale);
    EXPECT_DOUBLE_EQ(form->windowHandle()->devicePixelRatio(), scale);
    // Logical size stays the design size; a window that forced its own
    // factor or counted in device pixels would change it.
    EXPECT_EQ(form->size(), QSize(kWidth, kHeight));
    EXPECT_EQ(form->minimumSize(), QSize(kWidth, kHeight));
}

TEST_F(HighDpiWindow, GrabHasTheLogicalSizeTimesTheFactor) {
    const QPixmap grab = form->grab();
    EXPECT_EQ(grab.size(), QSize(kWidth * scale, kHeight * scale));
    EXPECT_DOUBLE_EQ(grab.devicePixelRatio(), scale);
    EXPECT_EQ(grab.deviceIndependentSize().toSize(), QSize(kWidth, kHeight));
}

TEST_F(HighDpiWindow, ControlsKeepTheirLogicalPositions) {
    const QPoint windowOrigin = form->mapToGlobal(QPoint(0, 0));
    for (const ControlPlace& place : kControlLayout) {
        if (place.rect.height() == 0) continue;  // captions: one line of a font that scales
        SCOPED_TRACE(place.name);
        auto* widget = form->findChild<QWidget*>(QString::fromLatin1(place.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), place.rect);
        // The controls sit straight on the client area, which fills the window.
        EXPECT_EQ(widget->mapTo(form.get(), QPoint(0, 0)), place.rect.topLeft());
        EXPECT_EQ(widget->mapTo(form.get(), QPoint(place.rect.width(), place.rect.height())),
                  place.rect.bottomRight() + QPoint(1, 1));
        EXPECT_EQ(widget->mapToGlobal(QPoint(0, 0)) - windowOrigin, place.rect.topLeft());
    }
}

// The three identifier fields coloured cyan by the up-down counter must be
// drawn where their logical geometry says, times the factor: a layout that
// mixed device and logical pixels would paint them elsewhere.
TEST_F(HighDpiWindow, ControlsAreDrawnAtTheirScaledPositions) {
    form->VerButtons->button(1)->click();
    for (int i = 0; i < 3; ++i) form->NonOIDUpDown->Click(UpDown::Up);
    const QImage image = Grab();
    const QRect fields = PlaceOf(Control::OID1Edit).rect | PlaceOf(Control::OID3Edit).rect;
    const QRect cyan = InkBox(image, image.rect(), [](const QColor& c) { return c == QColor(0, 255, 255); });
    ASSERT_FALSE(cyan.isEmpty());
    const QRect expected = Scaled(fields, scale);
    EXPECT_TRUE(expected.contains(cyan)) << "cyan at " << cyan.x() << "," << cyan.y() << " " << cyan.width()
                                         << "x" << cyan.height();
    // Only the fields' frames may stay uncoloured: a few logical pixels a side.
    EXPECT_LE(cyan.left() - expected.left(), 4 * scale);
    EXPECT_LE(expected.right() - cyan.right(), 4 * scale);
    EXPECT_LE(cyan.top() - expected.top(), 4 * scale);
    EXPECT_LE(expected.bottom() - cyan.bottom(), 4 * scale);
}

// Text is scaled with the rest: the pane's first line ("Quillet   V6.10",
// a 12-pixel font) must be drawn that many times taller in device pixels.
TEST_F(HighDpiWindow, TextIsDrawnWithTheFactor) {
    const QImage image = Grab();
    // The top of the pane, inside its frame and left of its scroll bar.
    const QRect firstLine = Scaled(QRect(PlaceOf(Control::OutMemo).rect.topLeft() + QPoint(3, 3), QSize(200, 20)), scale);
    const QRect ink = InkBox(image, firstLine, [](const QColor& c) { return c.lightness() < 128; });
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.height(), 7 * scale);
    EXPECT_LE(ink.height(), 15 * scale);
    EXPECT_GE(ink.width(), 60 * scale);
}

}  // namespace
}  // namespace quillet
