// GoogleTest main for the window tests: one QApplication for all of them,
// run in a fresh working directory so the LOG folder they make is their own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    testing::InitGoogleTest(&argc, argv);
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    return RUN_ALL_TESTS();
}
