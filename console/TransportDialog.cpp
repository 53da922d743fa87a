#include "console/TransportDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

TransportDialog::TransportDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("通信設定"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    PortEdit = new QLineEdit(this);
    PortEdit->setToolTip(QStringLiteral("エージェントのUDPポートです（通常161）。"));
    TimeoutEdit = new QLineEdit(this);
    TimeoutEdit->setToolTip(QStringLiteral("応答を待つ秒数です（0.1～60、net-snmpの-t）。"));
    RetriesEdit = new QLineEdit(this);
    RetriesEdit->setToolTip(QStringLiteral("応答がない時に同じ要求を送り直す回数です（0～10、net-snmpの-r）。"));
    form->addRow(QStringLiteral("エージェントのポート"), PortEdit);
    form->addRow(QStringLiteral("タイムアウト(秒)"), TimeoutEdit);
    form->addRow(QStringLiteral("再送回数"), RetriesEdit);
    layout->addLayout(form);
    ErrorLabel = new QLabel(this);
    ErrorLabel->setWordWrap(true);
    ErrorLabel->setStyleSheet(QStringLiteral("color: red"));
    // Room for the error kept always, so that the buttons never move.
    ErrorLabel->setMinimumHeight(2 * ErrorLabel->fontMetrics().lineSpacing());
    layout->addWidget(ErrorLabel);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TransportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TransportDialog::reject);
    layout->addWidget(buttons);
    SetValues(values_);
}

void TransportDialog::SetValues(const AgentTransport& transport) {
    values_ = transport;
    PortEdit->setText(QString::number(transport.port));
    TimeoutEdit->setText(QString::fromStdString(TimeoutSecondsText(transport.timeoutMs)));
    RetriesEdit->setText(QString::number(transport.retries));
    ErrorLabel->clear();
}

void TransportDialog::accept() {
    std::string error;
    AgentTransport read;
    if (!ParseAgentTransport(PortEdit->text().toStdString(), TimeoutEdit->text().toStdString(),
                             RetriesEdit->text().toStdString(), read, error)) {
        ErrorLabel->setText(QString::fromStdString(error));
        return;
    }
    values_ = read;
    ErrorLabel->clear();
    QDialog::accept();
}

}  // namespace quillet
