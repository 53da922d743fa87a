// The settings file as the window keeps it: private whatever the umask, and
// said in the window and the log when it cannot be kept, the engine then
// taking an ID of the run alone.
#include <gtest/gtest.h>

#include <QDir>
#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>

#include <sys/stat.h>

#include "tests/gui/FormFixture.h"
#include "text/Cp932.h"

namespace quillet {
namespace {

using testing::LoopbackConfig;
using testing::PaneLines;
using testing::RecordingReporter;

mode_t ModeOf(const char* path) {
    struct stat seen {};
    EXPECT_EQ(::stat(path, &seen), 0) << path;
    return seen.st_mode & 07777;
}

TEST(SettingsFile, UnderUmask000TheFolderIs0700AndTheFile0600AfterEverySave) {
    QDir(QStringLiteral("modes")).removeRecursively();
    const mode_t umaskBefore = ::umask(0);
    RecordingReporter reporter;
    ConsoleConfig config = LoopbackConfig(&reporter);
    config.settingsFile = "modes/Quillet/quillet.ini";
    for (const bool widened : {false, true}) {
        SCOPED_TRACE(widened ? "an older folder and file open to everyone" : "made afresh");
        if (widened) {
            ::chmod("modes/Quillet", 0777);
            ::chmod(config.settingsFile.c_str(), 0666);
        }
        TMainForm form(config);
        EXPECT_EQ(ModeOf("modes/Quillet"), 0700u);
        EXPECT_EQ(ModeOf(config.settingsFile.c_str()), 0600u);
        form.detailDisplayCheckBox->toggle();  // saved through a new file renamed over the old
        EXPECT_EQ(ModeOf(config.settingsFile.c_str()), 0600u);
        EXPECT_TRUE(form.UserSettings().Kept());
        form.close();
    }
    ::umask(umaskBefore);
    // A missing parent is made 0700 too.
    EXPECT_EQ(ModeOf("modes"), 0700u);
}

TEST(SettingsFile, OneThatCannotBeWrittenIsSaidAndTheEngineTakesAnIdOfTheRunAlone) {
    RecordingReporter reporter;
    ConsoleConfig config = LoopbackConfig(&reporter);
    // A folder where the file should be: not even root can write it.
    config.settingsFile = "unwritable-settings.ini";
    QDir().mkpath(QString::fromStdString(config.settingsFile));
    QByteArray firstId;
    std::string logName;
    {
        TMainForm first(config);
        first.FlushPane();
        EXPECT_TRUE(first.windowTitle().endsWith(QStringLiteral("  【設定を保存できません】")));
        const std::vector<std::string> pane = PaneLines(first);
        const std::string said = "設定ファイルに保存できません：設定ファイルを開けません: unwritable-settings.ini（Is a directory）";
        EXPECT_NE(std::find(pane.begin(), pane.end(), said), pane.end());
        const std::string hex = first.LocalEngineId().toHex(' ').toUpper().toStdString();
        const std::string engine = "SNMPv3エンジンのbootsを保存できないため、この実行に限り新しいエンジンIDを使います：" +
                                   hex + "（以前の実行に送られたINFORMは受け付けません）";
        EXPECT_NE(std::find(pane.begin(), pane.end(), engine), pane.end());
        EXPECT_EQ(first.LocalEngineBoots(), 1u);
        firstId = first.LocalEngineId();
        logName = first.LogFileName();
        first.close();
        QFile log(QString::fromStdString(logName));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        const std::string text = Cp932ToUtf8(log.readAll().toStdString());
        EXPECT_NE(text.find(said + "\r\n"), std::string::npos);
        EXPECT_NE(text.find(engine + "\r\n"), std::string::npos);
    }
    TMainForm second(config);
    EXPECT_EQ(second.LocalEngineId().size(), 13);
    EXPECT_NE(second.LocalEngineId(), firstId);
    EXPECT_EQ(second.LocalEngineBoots(), 1u);
    QDir().rmdir(QString::fromStdString(config.settingsFile));
}

}  // namespace
}  // namespace quillet
