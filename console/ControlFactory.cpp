#include "console/ControlFactory.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace quillet {

// The design's fonts are narrower than the ones a Linux desktop has; a
// smaller size keeps a caption inside its design rectangle instead of
// running it under its neighbour.
QFont FittingFont(QFont font, const QString& text, int width) {
    for (int pixels = 12; pixels >= 8; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(text) <= width) break;
    }
    return font;
}

QFont WindowFont() {
    QFont font;
    // The design font first, then Japanese proportional fonts of the same kind.
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPA Pゴシック"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    return font;
}

QFont PaneFont() {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("IPAゴシック"), QStringLiteral("Noto Sans Mono CJK JP")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    return font;
}

QFont ImpactFont(int pixels) {
    QFont font;
    font.setFamilies({QStringLiteral("Impact"), QStringLiteral("Haettenschweiler"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(pixels);
    return font;
}

void Place(QWidget* widget, Control control) {
    const ControlPlace& place = PlaceOf(control);
    widget->setObjectName(QString::fromLatin1(place.name));
    widget->setGeometry(place.rect);
}

QFrame* MakeFrame(QWidget* parent, Control control) {
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Place(frame, control);
    return frame;
}

QLineEdit* MakeEdit(QWidget* parent, Control control, const QString& text, const QString& hint) {
    auto* edit = new QLineEdit(text, parent);
    Place(edit, control);
    if (!hint.isEmpty()) edit->setToolTip(hint);
    edit->setCursorPosition(0);
    return edit;
}

QLabel* MakeLabel(QWidget* parent, Control control, const QString& text) {
    auto* label = new QLabel(text, parent);
    const QRect row = PlaceOf(control).rect;
    label->setFont(FittingFont(parent->font(), text, row.width()));
    Place(label, control);
    label->setGeometry(row.x(), row.y(), row.width(), QFontMetrics(label->font()).height());
    return label;
}

namespace {

// Enter or Return on a focused push button presses it, as Space does. A
// button of a main window (not a dialog) takes only Space by itself.
class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            auto* button = qobject_cast<QPushButton*>(watched);
            if (button != nullptr && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
                if (button->isEnabled()) button->animateClick();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

QPushButton* MakeButton(QWidget* parent, Control control, const QString& text, const QString& hint) {
    auto* button = new QPushButton(text, parent);
    Place(button, control);
    button->setToolTip(hint);
    button->setAutoDefault(false);
    button->installEventFilter(new EnterPressesButton(button));
    return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, Control control, const QString& text, const QString& hint) {
    auto* box = new QCheckBox(text, parent);
    Place(box, control);
    // A narrow gap between box and caption, so that "PDU表示" fits the design
    // width with the fonts found on Linux too.
    box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; }"));
    QStyleOptionButton option;
    option.initFrom(box);
    const int indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).width();
    box->setFont(FittingFont(box->font(), box->text(), box->width() - indicator - 3));
    box->setToolTip(hint);
    return box;
}

// The caption sits on the frame's top line, as on the design's desktop, so
// that the items have the box's height to themselves; each item is one row
// whose indicator is sized to the row, so no circle is cut by its row or by
// the frame.
QGroupBox* MakeRadioGroup(QWidget* parent, Control control, const QString& caption, const QStringList& items,
                          QButtonGroup** group) {
    auto* box = new QGroupBox(caption, parent);
    Place(box, control);
    const int w = box->width();
    const int h = box->height();
    box->setFont(FittingFont(parent->font(), caption, w - 12));
    const int titleHeight = QFontMetrics(box->font()).height();
    box->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                                      " margin-top: %1px; }"
                                      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                                      " left: 6px; padding: 0px 2px; }")
                           .arg(titleHeight / 2));
    *group = new QButtonGroup(box);
    const int top = titleHeight;
    const int step = (h - top - 3) / static_cast<int>(items.size());
    const int indicator = std::min(13, step - 1);
    const int textWidth = w - 10 - indicator - 4;
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], box);
        radio->setStyleSheet(QStringLiteral("QRadioButton { spacing: 3px; }"
                                            "QRadioButton::indicator { width: %1px; height: %1px; }")
                                 .arg(indicator));
        radio->setFont(FittingFont(parent->font(), items[i], textWidth));
        radio->setGeometry(6, top + i * step, w - 9, step);
        (*group)->addButton(radio, i);
    }
    (*group)->button(0)->setChecked(true);
    return box;
}

void TabStopAtCheckedItem(QButtonGroup* group) {
    for (QAbstractButton* item : group->buttons())
        item->setFocusPolicy(item->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

void SetNoTabStop(QWidget* widget) { widget->setFocusPolicy(Qt::ClickFocus); }

}  // namespace quillet
