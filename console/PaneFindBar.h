// The output pane's find bar: a strip at the pane's foot with the text to
// find, 次へ and 前へ, and a word on how the last search went. Enter finds
// the next match, Shift+Enter the previous one, Escape closes the bar; the
// window adds Ctrl+F to open it and F3 / Shift+F3.
//
// A search ignores case, starts at the pane's selection (the last match), or
// with none at the top of the view (前へ: its bottom), and goes on past the
// end of the pane from its other end. A match is selected
// and scrolled into view; then, as the view is no longer at the bottom, it
// stays there while lines come (OutputPane).
#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillet {

class PaneFindBar : public QWidget {
public:
    // What the status says.
    static constexpr const char* kNotFound = "見つかりません";
    static constexpr const char* kWrappedToTop = "先頭から検索しました";
    static constexpr const char* kWrappedToBottom = "末尾から検索しました";

    // `shownOrHidden` is called after the bar opens or closes, for the
    // window to give the pane its room.
    PaneFindBar(QPlainTextEdit* pane, std::function<void()> shownOrHidden, QWidget* parent);

    // Shows the bar, the text field focused with its text selected.
    void Open();
    // Hides the bar and gives the pane the focus.
    void Close();
    // Finds the field's text after the selection (before it when
    // `backward`), wrapping around; selects the match and brings it into
    // view. Returns whether there was one; the status says when the search
    // wrapped or found nothing, and the view does not move then.
    bool Find(bool backward);
    // Forgets the status (the pane was emptied).
    void ClearStatus();

    QLineEdit* FindEdit;
    QPushButton* NextButton;
    QPushButton* PreviousButton;
    QLabel* StatusLabel;
    QPushButton* CloseButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* pane_;
    std::function<void()> shownOrHidden_;
};

}  // namespace quillet
