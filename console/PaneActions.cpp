// The output pane's session: find, save and clear, their keys, and the
// pane's context menu. The log stays the record of everything; these act on
// the pane alone.
#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>

#include <algorithm>

#include "console/ControlLayout.h"
#include "console/MainForm.h"
#include "console/OutputPane.h"
#include "console/PaneFindBar.h"

namespace quillet {
namespace {

QAction* WindowAction(QWidget* window, const QString& text, const QKeySequence& keys) {
    auto* action = new QAction(text, window);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    window->addAction(action);
    return action;
}

}  // namespace

void TMainForm::CreatePaneActions() {
    FindBar = new PaneFindBar(OutMemo, [this] { PlacePane(); }, centralWidget());
    FindBar->setObjectName(QString::fromLatin1(PlaceOf(Control::FindBar).name));
    FindBar->hide();
    PlacePane();

    findAction_ = WindowAction(this, QStringLiteral("検索(&F)..."), QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(findAction_, &QAction::triggered, this, [this] { FindBar->Open(); });
    for (const bool backward : {false, true}) {
        QAction* findOn = WindowAction(this, backward ? QStringLiteral("前を検索") : QStringLiteral("次を検索"),
                                       backward ? QKeySequence(Qt::SHIFT | Qt::Key_F3) : QKeySequence(Qt::Key_F3));
        connect(findOn, &QAction::triggered, this, [this, backward] {
            FindBar->Open();
            FindBar->Find(backward);
        });
    }
    saveAction_ = WindowAction(this, QStringLiteral("ファイルに保存(&S)..."), QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(saveAction_, &QAction::triggered, this, [this] { SavePaneClick(); });
    clearPaneAction_ = new QAction(QStringLiteral("表示をクリア(&L)"), this);
    connect(clearPaneAction_, &QAction::triggered, this, [this] { ClearPaneClick(); });

    OutMemo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(OutMemo, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = PaneMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(OutMemo->viewport()->mapToGlobal(at));
    });
}

QMenu* TMainForm::PaneMenu() {
    // Qt's own entries (copy, select all) in the words of its translations.
    QMenu* menu = OutMemo->createStandardContextMenu();
    menu->addSeparator();
    menu->addAction(findAction_);
    menu->addAction(saveAction_);
    menu->addSeparator();
    menu->addAction(clearPaneAction_);
    return menu;
}

void TMainForm::PlacePane() {
    const int dw = std::max(0, width() - kClientSize.width());
    const int dh = std::max(0, height() - kClientSize.height());
    const QRect bar = PlaceOf(Control::FindBar).rect.adjusted(0, dh, dw, dh);
    QRect pane = PlaceOf(Control::OutMemo).rect.adjusted(0, 0, dw, dh);
    if (!FindBar->isHidden()) pane.setBottom(bar.top() - kFindBarGap - 1);
    OutMemo->setGeometry(pane);
    FindBar->setGeometry(bar);
}

void TMainForm::SavePaneClick() {
    const QString name = QDir::current().filePath(
        QStringLiteral("quillet_%1.txt").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"))));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("出力欄の内容を保存"), name,
                                                      QStringLiteral("テキスト ファイル (*.txt);;すべてのファイル (*)"));
    if (!path.isEmpty()) SavePaneTo(path);
}

bool TMainForm::SavePaneTo(const QString& path) {
    FlushPane();
    // The raw text: every character as shown (a no-break space stays one),
    // the blocks' separators made line breaks.
    QString text = OutMemo->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text += QLatin1Char('\n');
    const QByteArray bytes = text.toUtf8();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    reporter_->ShowError("出力欄の内容を保存できませんでした：" + path.toStdString() + "（" +
                         file.errorString().toStdString() + "）");
    return false;
}

void TMainForm::ClearPaneClick() {
    output_.ClearPane();
    FlushPane();
    FindBar->ClearStatus();
}

}  // namespace quillet
