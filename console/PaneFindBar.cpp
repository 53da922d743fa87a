#include "console/PaneFindBar.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>

namespace quillet {
namespace {

QPushButton* SmallButton(const QString& text, const QString& hint, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setToolTip(hint);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::ClickFocus);
    return button;
}

}  // namespace

PaneFindBar::PaneFindBar(QPlainTextEdit* pane, std::function<void()> shownOrHidden, QWidget* parent)
    : QWidget(parent), pane_(pane), shownOrHidden_(std::move(shownOrHidden)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(new QLabel(QStringLiteral("検索"), this));
    FindEdit = new QLineEdit(this);
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    FindEdit->setToolTip(QStringLiteral("出力欄で探す文字列を入力します。大文字と小文字は区別しません。"));
    FindEdit->installEventFilter(this);
    layout->addWidget(FindEdit, 1);
    NextButton = SmallButton(QStringLiteral("次へ"), QStringLiteral("次を検索します。(Enter, F3)"), this);
    PreviousButton =
        SmallButton(QStringLiteral("前へ"), QStringLiteral("前を検索します。(Shift+Enter, Shift+F3)"), this);
    layout->addWidget(NextButton);
    layout->addWidget(PreviousButton);
    StatusLabel = new QLabel(this);
    StatusLabel->setMinimumWidth(QFontMetrics(StatusLabel->font()).horizontalAdvance(QString::fromUtf8(kWrappedToTop)));
    layout->addWidget(StatusLabel);
    CloseButton = SmallButton(QStringLiteral("×"), QStringLiteral("検索を閉じます。(Esc)"), this);
    CloseButton->setFixedWidth(CloseButton->sizeHint().height());
    layout->addWidget(CloseButton);
    connect(NextButton, &QPushButton::clicked, this, [this] { Find(false); });
    connect(PreviousButton, &QPushButton::clicked, this, [this] { Find(true); });
    connect(CloseButton, &QPushButton::clicked, this, [this] { Close(); });
    connect(FindEdit, &QLineEdit::textEdited, this, [this] { ClearStatus(); });
}

void PaneFindBar::Open() {
    const bool wasHidden = isHidden();
    show();
    if (wasHidden && shownOrHidden_) shownOrHidden_();
    FindEdit->setFocus(Qt::ShortcutFocusReason);
    FindEdit->selectAll();
}

void PaneFindBar::Close() {
    if (isHidden()) return;
    hide();
    ClearStatus();
    if (shownOrHidden_) shownOrHidden_();
    pane_->setFocus(Qt::OtherFocusReason);
}

bool PaneFindBar::Find(bool backward) {
    const QString text = FindEdit->text();
    if (text.isEmpty()) {
        ClearStatus();
        return false;
    }
    const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextDocument* document = pane_->document();
    // From the last match; with none, from the edge of the view the search
    // moves away from (its top going down, its bottom going up).
    QTextCursor from = pane_->textCursor();
    if (!from.hasSelection()) {
        const QRect view = pane_->viewport()->rect();
        from = pane_->cursorForPosition(backward ? view.bottomRight() : view.topLeft());
        from.movePosition(backward ? QTextCursor::EndOfBlock : QTextCursor::StartOfBlock);
    }
    QTextCursor match = document->find(text, from, flags);
    QString status;
    if (match.isNull()) {
        // Past one end, on from the other; the document's search leaves the
        // view alone until a match is taken.
        match = document->find(text, backward ? document->characterCount() - 1 : 0, flags);
        status = QString::fromUtf8(match.isNull() ? kNotFound : backward ? kWrappedToBottom : kWrappedToTop);
    }
    StatusLabel->setText(status);
    if (match.isNull()) return false;
    pane_->setTextCursor(match);
    pane_->ensureCursorVisible();
    return true;
}

void PaneFindBar::ClearStatus() { StatusLabel->clear(); }

bool PaneFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FindEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Find((key->modifiers() & Qt::ShiftModifier) != 0);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            Close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quillet
