// GoogleTest main for the window tests: one application object for all of them,
// run in a fresh working directory so the LOG folder they make is their own.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "console/ConsoleApplication.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The console's own application object, which shows an exception that
    // escapes a handler in a box.
    quillet::ConsoleApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    testing::InitGoogleTest(&argc, argv);
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    return RUN_ALL_TESTS();
}
