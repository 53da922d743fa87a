#include "console/UpDown.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillet {

UpDown::UpDown(QWidget* parent, QLineEdit* associate, int minimum, int maximum, int position)
    : QWidget(parent), associate_(associate), minimum_(minimum), maximum_(maximum), position_(position) {
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
    }
    auto* layout = new QVBoxLayout(this);
    // A one-pixel rim around the arrows shows the keyboard focus.
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    for (QToolButton* b : {up_, down_}) b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    connect(up_, &QToolButton::clicked, this, [this] { Click(Up); });
    connect(down_, &QToolButton::clicked, this, [this] { Click(Down); });
    SetPosition(position);
}

void UpDown::SetPosition(int position) {
    if (position < minimum_) position = minimum_;
    if (position > maximum_) position = maximum_;
    position_ = position;
    if (associate_ != nullptr) associate_->setText(QString::number(position_));
}

void UpDown::Click(Button button) {
    if (!isEnabled()) return;
    SetPosition(position_ + (button == Up ? 1 : -1));
    emit clicked(button);
}

void UpDown::paintEvent(QPaintEvent*) {
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Highlight));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void UpDown::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void UpDown::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

void UpDown::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        Click(event->key() == Qt::Key_Up ? Up : Down);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void UpDown::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        up_->setEnabled(isEnabled());
        down_->setEnabled(isEnabled());
    }
    QWidget::changeEvent(event);
}

}  // namespace quillet
