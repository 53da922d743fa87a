// The pane as a session the engineer keeps: find, save, clear, a view that
// stays where it was scrolled to, the bound that drops the oldest datagrams
// whole, and Qt's own texts in Japanese.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>

#include <memory>

#include "console/ConsoleApplication.h"
#include "console/ControlLayout.h"
#include "console/PaneFindBar.h"
#include "tests/gui/FormFixture.h"

namespace quillet {
namespace {

using testing::LoopbackConfig;
using testing::PaneLines;
using testing::RecordingReporter;

class PaneSession : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TMainForm>(LoopbackConfig(&reporter));
        form->show();
    }

    void Write(std::initializer_list<const char*> lines) {
        OutputBatch batch;
        for (const char* line : lines) batch.WriteLine(line, SummaryLine);
        form->Output().Commit(batch);
        form->FlushPane();
    }

    QAction* ActionWithKeys(const QKeySequence& keys) {
        for (QAction* action : form->actions())
            if (action->shortcut() == keys) return action;
        return nullptr;
    }

    void Key(QWidget* to, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(to, &press);
    }

    // The pane's selection: its block number and text.
    std::pair<int, std::string> Selected() {
        const QTextCursor cursor = form->OutMemo->textCursor();
        return {cursor.blockNumber(), cursor.selectedText().toStdString()};
    }

    std::string Status() { return form->FindBar->StatusLabel->text().toStdString(); }

    std::string TopLine() {
        return form->OutMemo->cursorForPosition(QPoint(4, 4)).block().text().toStdString();
    }

    RecordingReporter reporter;
    std::unique_ptr<TMainForm> form;
};

TEST_F(PaneSession, FindGoesBothWaysIgnoringCaseWrapsAndSaysWhenNothingIsFound) {
    Write({"alpha 1", "Beta 2", "ALPHA 3", "gamma"});
    QAction* find = ActionWithKeys(QKeySequence(Qt::CTRL | Qt::Key_F));
    QAction* next = ActionWithKeys(QKeySequence(Qt::Key_F3));
    QAction* previous = ActionWithKeys(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    ASSERT_TRUE(find && next && previous);
    find->trigger();
    ASSERT_FALSE(form->FindBar->isHidden());
    EXPECT_EQ(form->OutMemo->geometry().bottom() + 1 + kFindBarGap, form->FindBar->geometry().top());
    form->FindBar->FindEdit->setText(QStringLiteral("alpha"));
    const struct { QAction* action; int key; Qt::KeyboardModifiers modifiers; int block; const char* text, *status; } steps[] = {
        {nullptr, Qt::Key_Return, Qt::NoModifier, 1, "alpha", ""},
        {next, 0, {}, 3, "ALPHA", ""},
        {next, 0, {}, 1, "alpha", PaneFindBar::kWrappedToTop},
        {nullptr, Qt::Key_Enter, Qt::ShiftModifier, 3, "ALPHA", PaneFindBar::kWrappedToBottom},
        {previous, 0, {}, 1, "alpha", ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.block);
        if (step.action != nullptr) step.action->trigger();
        else Key(form->FindBar->FindEdit, step.key, step.modifiers);
        EXPECT_EQ(Selected(), std::make_pair(step.block, std::string(step.text)));
        EXPECT_EQ(Status(), step.status);
    }
    form->FindBar->FindEdit->setText(QStringLiteral("delta"));
    next->trigger();
    EXPECT_EQ(Status(), PaneFindBar::kNotFound);
    EXPECT_EQ(Selected(), std::make_pair(1, std::string("alpha")));  // the last match stays
    Key(form->FindBar->FindEdit, Qt::Key_Escape);
    EXPECT_TRUE(form->FindBar->isHidden());
    EXPECT_EQ(form->OutMemo->geometry(), PlaceOf(Control::OutMemo).rect);
}

TEST_F(PaneSession, SaveWritesThePaneInUtf8AndSaysWhenItCannot) {
    Write({"TRAP受信  SIZE=3", "  受信DATA="});
    form->Output().WriteLine("  41 42 43", PduLine);  // not flushed yet: saved all the same
    const QString path = QDir::current().filePath(QStringLiteral("pane.txt"));
    ASSERT_TRUE(form->SavePaneTo(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), "Quillet   V6.10\nTRAP受信  SIZE=3\n  受信DATA=\n  41 42 43\n");
    EXPECT_TRUE(reporter.Errors().empty());

    EXPECT_FALSE(form->SavePaneTo(QDir::current().filePath(QStringLiteral("no-such-folder/pane.txt"))));
    ASSERT_EQ(reporter.Errors().size(), 1u);
    EXPECT_EQ(reporter.Errors()[0].rfind("出力欄の内容を保存できませんでした：", 0), 0u);
}

TEST_F(PaneSession, ClearingThePaneKeepsTheCountersAndTheContextMenuIsJapanese) {
    OutputBatch batch;
    batch.CountDatagram(Counter::Trap);
    batch.WriteLine("TRAP受信  SIZE=3", SummaryLine);
    form->Output().Commit(batch);
    form->FlushPane();
    std::unique_ptr<QMenu> menu(form->PaneMenu());
    QStringList texts;
    QAction* clear = nullptr;
    for (QAction* action : menu->actions()) {
        texts << action->text();
        if (action->text().startsWith(QStringLiteral("表示をクリア"))) clear = action;
    }
    // Qt's own entries come translated; ours follow.
    EXPECT_TRUE(static_cast<ConsoleApplication*>(QApplication::instance())->QtTranslated());
    EXPECT_FALSE(texts.join(QLatin1Char('|')).contains(QStringLiteral("Copy"))) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(texts.join(QLatin1Char('|')).contains(QStringLiteral("Select"))) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("検索(&F)...")));
    EXPECT_TRUE(texts.contains(QStringLiteral("ファイルに保存(&S)...")));
    ASSERT_NE(clear, nullptr);
    clear->trigger();
    EXPECT_EQ(form->OutMemo->toPlainText(), QString());
    EXPECT_EQ(form->TrapEdit->text(), QStringLiteral("1"));
    Write({"after"});
    EXPECT_EQ(PaneLines(*form), std::vector<std::string>{"after"});
}

TEST_F(PaneSession, AViewScrolledUpStaysWhileLinesComeAndTheOldestGoAndAtTheBottomItFollows) {
    // Datagrams of 101 lines and about 400,000 bytes: the bound keeps five.
    auto datagram = [this](int k) {
        OutputBatch batch;
        batch.WriteLine("TRAP " + std::to_string(k), SummaryLine);
        for (int i = 0; i < 100; ++i) batch.WriteLine(std::to_string(k) + "-" + std::to_string(i) + std::string(3990, '.'), PduLine);
        form->Output().Commit(batch);
        form->FlushPane();
    };
    for (int k = 1; k <= 4; ++k) datagram(k);
    QScrollBar* scroll = form->OutMemo->verticalScrollBar();
    EXPECT_EQ(scroll->value(), scroll->maximum());
    // Up to datagram 3's header: it stays in view while datagrams come, and
    // while the bound takes the banner and datagrams 1 and 2 from above it.
    scroll->setValue(form->OutMemo->document()->findBlockByNumber(1 + 2 * 101).firstLineNumber());
    ASSERT_EQ(TopLine(), "TRAP 3");
    for (int k = 5; k <= 7; ++k) {
        SCOPED_TRACE(k);
        datagram(k);
        EXPECT_EQ(TopLine(), "TRAP 3");
    }
    const std::vector<std::string> lines = PaneLines(*form);
    EXPECT_EQ(lines.front(), "TRAP 3");  // whole datagrams, oldest first
    EXPECT_EQ(lines.size(), 5u * 101);
    EXPECT_LE(form->OutMemo->toPlainText().toUtf8().size() + 1, static_cast<qsizetype>(ConsoleOutput::kPaneTextLimit));
    // Back at the bottom, the view follows again.
    scroll->setValue(scroll->maximum());
    datagram(8);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    EXPECT_EQ(form->OutMemo->cursorForPosition(QPoint(4, form->OutMemo->viewport()->height() - 8)).block().text().left(5),
              QStringLiteral("8-99."));
}

}  // namespace
}  // namespace quillet
