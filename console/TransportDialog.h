// How requests reach the agent: its UDP port, the timeout and the retries,
// as net-snmp's HOST:PORT, -t and -r. Opened by the 通信設定 button; its OK
// hands the values to the window, which keeps them for the next start.
#pragma once

#include <QDialog>

#include <string>

#include "request/AgentTransport.h"

class QLabel;
class QLineEdit;

namespace quillet {

class TransportDialog : public QDialog {
public:
    explicit TransportDialog(QWidget* parent);

    void SetValues(const AgentTransport& transport);
    // The values the last OK accepted.
    const AgentTransport& Values() const { return values_; }

    QLineEdit* PortEdit;
    QLineEdit* TimeoutEdit;
    QLineEdit* RetriesEdit;
    QLabel* ErrorLabel;

    // Checks the fields: on a fault the error shows and the dialog stays.
    void accept() override;

private:
    AgentTransport values_;
};

}  // namespace quillet
