// An up-down counter: two small arrow buttons that step a position between
// a minimum and a maximum without wrapping and show it in a bound read-only
// edit field.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace quillet {

class UpDown : public QWidget {
    Q_OBJECT
public:
    enum Button { Up, Down };

    UpDown(QWidget* parent, QLineEdit* associate, int minimum, int maximum, int position);

    int Position() const { return position_; }
    void SetPosition(int position);
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }

    // Presses one arrow as the operator would: the position moves by one if
    // the limit allows, then clicked() is emitted either way.
    void Click(Button button);

signals:
    void clicked(quillet::UpDown::Button button);

protected:
    void changeEvent(QEvent* event) override;
    // Up and Down step the position as the arrow buttons do; a rim in the
    // highlight colour shows that the counter has the keyboard focus.
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QLineEdit* associate_;
    QToolButton* up_;
    QToolButton* down_;
    int minimum_;
    int maximum_;
    int position_;
};

}  // namespace quillet
