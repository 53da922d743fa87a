#include "console/MessageBoxReporter.h"

#include "request/RequestOperation.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace quillet {
namespace {

void ShowBox(const QString& title, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, title, text, QMessageBox::Ok);
    box.exec();
}

}  // namespace

void MessageBoxReporter::ShowError(const std::string& text) {
    const QString message = QString::fromStdString(text);
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    if (QThread::currentThread() == app->thread()) {
        ShowBox(QStringLiteral("ERROR"), message, QMessageBox::NoIcon);
        return;
    }
    if (closing_) return;
    QMetaObject::invokeMethod(
        app, [message] { ShowBox(QStringLiteral("ERROR"), message, QMessageBox::NoIcon); },
        Qt::BlockingQueuedConnection);
}

void MessageBoxReporter::ShowConversionError(const std::string& text) {
    ShowBox(QCoreApplication::applicationName(), QString::fromStdString(ConversionErrorMessage(text)),
            QMessageBox::Critical);
}

}  // namespace quillet
