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
#include <QScrollBar>
#include <QTextBlock>

#include "console/ConsoleApplication.h"
#include "console/ControlLayout.h"
#include "console/PaneFindBar.h"
#include "tests/gui/FormFixture.h"

namespace quillet {
namespace {

using testing::LoopbackConfig;
using testing::PaneLines;

class PaneSession : public ::testing::Test {
protected:
    void SetUp() { form->show(); }
    void Write(const std::vector<std::string>& lines, int trapCount = 0) {
        OutputBatch batch;
        for (int i = 0; i < trapCount; ++i) batch.CountDatagram(Counter::Trap);
        for (const std::string& line : lines) batch.WriteLine(line, SummaryLine);
        form->Output().Commit(batch);
        form->FlushPane();
    }
    QAction* Action(const QKeySequence& keys) {
        for (QAction* action : form->actions())
            if (action->shortcut() == keys) return action;
        return nullptr;
    }
    std::string TopLine() { return form->OutMemo->cursorForPosition(QPoint(4, 4)).block().text().toStdString(); }

    testing::RecordingReporter reporter;
    std::unique_ptr<TMainForm> form = std::make_unique<TMainForm>(LoopbackConfig(&reporter));
};

TEST_F(PaneSession, FindGoesBothWaysIgnoringCaseWrapsAndSaysWhenNothingIsFound) {
    Write({"alpha 1", "Beta 2", "ALPHA 3", "gamma"});
    QAction* next = Action(Qt::Key_F3);
    QAction* previous = Action(Qt::SHIFT | Qt::Key_F3);
    ASSERT_TRUE(next && previous && Action(Qt::CTRL | Qt::Key_F));
    Action(Qt::CTRL | Qt::Key_F)->trigger();
    EXPECT_EQ(form->OutMemo->geometry().bottom() + 1 + kFindBarGap, form->FindBar->geometry().top());
    form->FindBar->FindEdit->setText(QStringLiteral("alpha"));
    const struct { QAction* action; int key; Qt::KeyboardModifiers modifiers; int block; const char* status; } steps[] = {
        {nullptr, Qt::Key_Return, Qt::NoModifier, 1, ""},  // from the top of the view
        {next, 0, {}, 3, ""},
        {next, 0, {}, 1, PaneFindBar::kWrappedToTop},
        {nullptr, Qt::Key_Enter, Qt::ShiftModifier, 3, PaneFindBar::kWrappedToBottom},
        {previous, 0, {}, 1, ""},
    };
    for (const auto& step : steps) {
        QKeyEvent key(QEvent::KeyPress, step.key, step.modifiers);
        step.action != nullptr ? step.action->trigger() : (void)QApplication::sendEvent(form->FindBar->FindEdit, &key);
        EXPECT_EQ(form->OutMemo->textCursor().blockNumber(), step.block) << step.block;
        EXPECT_EQ(form->OutMemo->textCursor().selectedText().toLower(), QStringLiteral("alpha"));
        EXPECT_EQ(form->FindBar->StatusLabel->text().toStdString(), step.status);
    }
    form->FindBar->FindEdit->setText(QStringLiteral("delta"));
    next->trigger();
    EXPECT_EQ(form->FindBar->StatusLabel->text().toStdString(), PaneFindBar::kNotFound);
    EXPECT_EQ(form->OutMemo->textCursor().blockNumber(), 1);  // the last match stays
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(form->FindBar->FindEdit, &escape);
    EXPECT_TRUE(form->FindBar->isHidden());
    EXPECT_EQ(form->OutMemo->geometry(), PlaceOf(Control::OutMemo).rect);
}

TEST_F(PaneSession, SaveWritesThePaneInUtf8AndSaysWhenItCannot) {
    Write({"TRAP受信  SIZE=3"});
    form->Output().WriteLine("  受信DATA=", SummaryLine);  // not in the pane yet: saved all the same
    const QString path = QDir::current().filePath(QStringLiteral("pane.txt"));
    ASSERT_TRUE(form->SavePaneTo(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), "Quillet   V6.10\nTRAP受信  SIZE=3\n  受信DATA=\n");
    EXPECT_FALSE(form->SavePaneTo(QDir::current().filePath(QStringLiteral("no-such-folder/pane.txt"))));
    ASSERT_EQ(reporter.Errors().size(), 1u);
    EXPECT_EQ(reporter.Errors()[0].rfind("出力欄の内容を保存できませんでした：", 0), 0u);
}

TEST_F(PaneSession, TheContextMenuIsJapaneseAndItsClearKeepsTheCounters) {
    Write({"TRAP受信  SIZE=3"}, 1);
    std::unique_ptr<QMenu> menu(form->PaneMenu());
    QStringList texts;
    for (QAction* action : menu->actions()) texts << action->text().section(QLatin1Char('\t'), 0, 0);
    EXPECT_TRUE(static_cast<ConsoleApplication*>(QApplication::instance())->QtTranslated());
    EXPECT_EQ(texts, QStringList({"コピー(&C)", "", "すべてを選択", "", "検索(&F)...", "ファイルに保存(&S)...", "",
                                  "表示をクリア(&L)"}));
    menu->actions().back()->trigger();
    EXPECT_EQ(form->OutMemo->toPlainText(), QString());
    EXPECT_EQ(form->TrapEdit->text(), QStringLiteral("1"));
    Write({"after"});
    EXPECT_EQ(PaneLines(*form), std::vector<std::string>{"after"});
}

TEST_F(PaneSession, AViewScrolledUpStaysWhileLinesComeAndTheOldestGoAndAtTheBottomItFollows) {
    // Datagrams of 101 lines, some 400,000 bytes (wrapped in the pane): the
    // bound keeps five.
    auto datagram = [this](int k) {
        std::vector<std::string> lines{"TRAP " + std::to_string(k)};
        for (int i = 0; i < 100; ++i) lines.push_back("." + std::to_string(k) + "-" + std::to_string(i) + std::string(3990, '.'));
        Write(lines);
    };
    // At the bottom the view follows, also when painting lays the long lines
    // out and so lengthens the pane.
    QScrollBar* scroll = form->OutMemo->verticalScrollBar();
    for (int k = 1; k <= 4; ++k) {
        datagram(k);
        QApplication::processEvents();
        EXPECT_EQ(scroll->value(), scroll->maximum()) << k;
    }
    // Datagram 3's first line on top stays there while datagrams come and
    // the bound takes the banner and datagrams 1 and 2 from above it.
    scroll->setValue(form->OutMemo->document()->findBlockByNumber(1 + 2 * 101).firstLineNumber());
    ASSERT_EQ(TopLine(), "TRAP 3");
    for (int k = 5; k <= 7; ++k) {
        datagram(k);
        EXPECT_EQ(TopLine(), "TRAP 3") << k;
    }
    EXPECT_EQ(PaneLines(*form).front(), "TRAP 3");
    EXPECT_EQ(form->OutMemo->blockCount(), 5 * 101);
    EXPECT_LE(form->OutMemo->toPlainText().toUtf8().size() + 1, static_cast<qsizetype>(ConsoleOutput::kPaneTextLimit));
    scroll->setValue(scroll->maximum());  // back at the bottom: it follows
    datagram(8);
    QApplication::processEvents();
    EXPECT_EQ(scroll->value(), scroll->maximum());
}

}  // namespace
}  // namespace quillet
