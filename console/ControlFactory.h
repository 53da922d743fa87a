// How the main window makes its controls: each at its place in the layout
// table (ControlLayout.h), named after its member, in the window's fonts and
// with the look of the design on a Linux desktop.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include "console/ControlLayout.h"

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace quillet {

// The design's proportional font, or the nearest Japanese one installed.
QFont WindowFont();
// The design's fixed-pitch font for the output pane, likewise.
QFont PaneFont();
// The font of the logo and the ping button.
QFont ImpactFont(int pixels);

// The largest pixel size, from the design's 12 down to 8, at which `text`
// in `font`'s family is at most `width` pixels wide.
QFont FittingFont(QFont font, const QString& text, int width);

// Gives `widget` its place and its name from the layout table.
void Place(QWidget* widget, Control control);

QFrame* MakeFrame(QWidget* parent, Control control);
QLineEdit* MakeEdit(QWidget* parent, Control control, const QString& text, const QString& hint = {});
// A caption one line high in the width its row gives it; the font shrinks
// (down to 8 pixels) until the text fits that width.
QLabel* MakeLabel(QWidget* parent, Control control, const QString& text);
QPushButton* MakeButton(QWidget* parent, Control control, const QString& text, const QString& hint);
QCheckBox* MakeCheckBox(QWidget* parent, Control control, const QString& text, const QString& hint);
// A framed box with a caption and its items stacked evenly; the first item
// is checked.
QGroupBox* MakeRadioGroup(QWidget* parent, Control control, const QString& caption, const QStringList& items,
                          QButtonGroup** group);

// The checked item of a radio group takes the focus by Tab, the others only
// by a click or an arrow key, so Tab lands on the group once, at its choice.
void TabStopAtCheckedItem(QButtonGroup* group);
void SetNoTabStop(QWidget* widget);

}  // namespace quillet
