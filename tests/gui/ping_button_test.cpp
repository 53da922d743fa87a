// The ping button: a run's lines in the pane only, and a second click that
// stops the run at once.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

#include "tests/gui/FormFixture.h"

namespace quillet {
namespace {

using testing::LoopbackConfig;
using testing::PaneLines;
using testing::RecordingReporter;

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(PingButton, ARunWritesItsFrameToThePaneOnlyWhateverTheCheckBoxes) {
    RecordingReporter reporter;
    TMainForm form(LoopbackConfig(&reporter));
    form.IpEdit->setText(QStringLiteral("127.0.0.1"));
    form.nodisplay_CheckBox->setChecked(true);  // ping lines are shown all the same
    form.PingButton->click();
    ASSERT_TRUE(testing::WaitFor([&] { return Contains(PaneLines(form), "Pinging was finished"); }, 5000));
    const auto lines = PaneLines(form);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Pinging [127.0.0.1] with 40 bytes of data:");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"", "Pinging was finished", ""}));
    EXPECT_EQ(form.Output().OutputTotal(), 0);  // never charged
    EXPECT_TRUE(reporter.Errors().empty());
}

TEST(PingButton, ASecondClickStopsTheRunAndNothingOfItFollows) {
    RecordingReporter reporter;
    TMainForm form(LoopbackConfig(&reporter));
    form.IpEdit->setText(QStringLiteral("127.0.0.1"));
    // The second click comes microseconds after the first, long before the
    // run's first echo has been answered.
    form.PingButton->click();
    form.PingButton->click();
    testing::WaitFor([] { return false; }, 300);
    form.FlushPane();
    auto lines = PaneLines(form);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"", "Pinging was terminated by user", ""}));
    EXPECT_FALSE(Contains(lines, "Pinging was finished"));

    // The next click starts afresh.
    form.PingButton->click();
    ASSERT_TRUE(testing::WaitFor([&] { return PaneLines(form).size() > lines.size() + 2; }, 2000));
    lines = PaneLines(form);
    EXPECT_TRUE(Contains(lines, "Pinging [127.0.0.1] with 40 bytes of data:"));
    form.PingButton->click();
}

}  // namespace
}  // namespace quillet
