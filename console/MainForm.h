// The main window: every control of the console, its event handlers,
// start-up and shutdown. The sockets and listeners are the SocketTable's,
// the pane's updates the OutputPane's, what is shown and logged the output
// hub's (ConsoleOutput).
//
// Controls are public members named by role and kind, as the handlers of
// the request, response, trap and ping subsystems use them. Everything here
// runs on the GUI thread, but the hub, which any thread may write to.
#pragma once

#include <QMainWindow>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "console/Settings.h"
#include "console/SocketTable.h"
#include "console/V3Dialog.h"
#include "listener/T_Port161.h"
#include "output/ConsoleOutput.h"
#include "output/DetailLines.h"
#include "output/ErrorReporter.h"
#include "platform/LogFile.h"
#include "request/RequestOperation.h"
#include "request/RequestState.h"
#include "request/RequestTracker.h"
#include "request/V3Session.h"

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillet {

class MessageBoxReporter;
class OutputPane;
class UpDown;
class PingRun;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(const ConsoleConfig& config = ConsoleConfig{}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The window's controls.
    QLineEdit* CommunityEdit;
    QLineEdit* IpEdit;
    QPushButton* PingButton;
    QLineEdit* OID1Edit;
    QLineEdit* OID2Edit;
    QLineEdit* OID3Edit;
    QGroupBox* DataTypeGroup;
    QButtonGroup* DataTypeButtons;
    QPlainTextEdit* InMemo;
    QGroupBox* VerRadioGroup;
    QButtonGroup* VerButtons;
    QPushButton* V3SettingsButton;
    QCheckBox* dataDisplayCheckBox;
    QCheckBox* detailDisplayCheckBox;
    QPushButton* SetButton;
    QLineEdit* MessageEdit;
    QPushButton* GETButton;
    QPushButton* GETNEXTButton;
    QPushButton* BulkButton;
    QLineEdit* NonOID_C_Edit;
    QLineEdit* MaxEdit;
    QLineEdit* MaxOID_C_Edit;
    QLineEdit* MaxOID1Edit;
    QLineEdit* MaxOID2Edit;
    QLineEdit* MaxOID3Edit;
    UpDown* MaxOIDUpDown;
    UpDown* NonOIDUpDown;
    QLineEdit* TrapEdit;
    QPushButton* ClrButton;
    QCheckBox* nodisplay_CheckBox;
    QLineEdit* SendEdit;
    QLineEdit* RecvEdit;
    QPlainTextEdit* OutMemo = nullptr;
    QLabel* CommunityLabel;
    QLabel* IpLabel;
    QLabel* OID1_Label;
    QLabel* OID2_Label;
    QLabel* OID3_Label;
    QLabel* DataLabel;
    QLabel* NonLabel;
    QLabel* MaxLabel;
    QLabel* MaxOID1_Label;
    QLabel* MaxOID2_Label;
    QLabel* MaxOID3_Label;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label1;
    QLabel* Label4;
    QFrame* Frames[5];

    // Selected protocol version: 0 = SNMPv1, 1 = SNMPv2c, 2 = SNMPv3.
    int Version() const;
    // Selected set value type (SetValueType): 0 integer, 1 IpAddress, 2 hex,
    // 3 ASCII, 4 Unsigned32/Gauge32, 5 TimeTicks, 6 Counter32, 7 Counter64,
    // 8 OBJECT IDENTIFIER.
    int DataType() const;

    // Event handlers.
    void VerRadioGroupClick();
    void NonOIDUpDownClick();
    void MaxOIDUpDownClick();
    void ClrButtonClick();
    void SetButtonClick();
    void GETButtonClick();
    void GETNEXTButtonClick();
    void BulkButtonClick();
    void PingButtonClick();
    void V3SettingsButtonClick();

    // The SNMPv3 settings as the dialog's OK gives them (tests and tools use
    // it without the dialog). False, with the reason in `error`, for values
    // that make no usable user; the settings but the pass phrases are
    // remembered.
    bool ApplyV3Settings(const V3DialogValues& values, std::string& error);
    V3Dialog& V3SettingsDialog() { return *v3Dialog_; }

    // The send path: sends from socket entry `index` and counts the datagram
    // in SendCount when it left whole. A failed send is said by a line in the
    // pane and the log, after the request's lines, and in a box. Returns
    // whether the datagram left.
    bool SendDatagram(int index, const std::uint8_t* data, int length);
    const std::string& AgentAddressText() const { return agentAddressText_; }
    void SetAgentAddress(const std::string& text, const std::uint8_t octets[4]);

    // Applies the pending pane work now (the GUI thread does this by itself
    // when it is due; handlers and tests call it for immediacy). False when
    // there was none.
    bool FlushPane();

    SocketTable& Sockets() { return sockets_; }
    ConsoleOutput& Output() { return output_; }
    RequestState& Request() { return request_; }
    ErrorReporter& Reporter() { return *reporter_; }
    const std::string& LogFileName() const { return logFileName_; }
    bool LogOpen() const { return logFile_.IsOpen(); }
    // The text of IpEdit as last typed, readable from any thread (ping).
    std::string IpText() const;

    Settings& UserSettings() { return settings_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // The output pane takes the room of a larger window; the counters' row
    // below it follows the bottom edge.
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void StartUp();
    // Sets up socket entry `index`; when it cannot receive, the boxes' lines
    // go to the pane and the log, and the window's title says so.
    void SetupSocket(int index);
    void ShowTitle();
    void StopPing();
    void FormClose();
    void ColourByPosition(int position, QLineEdit* first, QLineEdit* second, QLineEdit* third);
    void RunRequest(RequestKind kind);
    // The SNMPv3 part of a request that passed its checks: discovery first
    // when the agent's engine is not known yet.
    void RunV3Request(RequestKind kind, const std::string& oidText);
    // Encodes, reports and sends the request in pendingV3_ to its agent's
    // known engine.
    void SendV3Request();
    // A Report from an agent: discovery done, or a time window to resend in.
    void OnV3Report(const V3Report& report);
    // Says so when request `requestId`, sent and tracked, gets no answer in time.
    void WaitForAnswer(std::int32_t requestId);

    ConsoleConfig config_;
    Settings settings_;
    std::unique_ptr<MessageBoxReporter> ownReporter_;  // when the config brings none
    ErrorReporter* reporter_;
    ConsoleOutput output_;
    OutputPane* pane_ = nullptr;  // a child; made with the controls
    LogFile logFile_;
    std::string logFileName_;
    SocketTable sockets_;
    std::string agentAddressText_;
    RequestState request_;
    RequestTracker tracker_;
    V3Session v3_;
    V3Dialog* v3Dialog_ = nullptr;  // a child; made with the controls
    // The SNMPv3 request being sent: kept while discovery runs, and to be
    // sent once more after a notInTimeWindows Report.
    struct PendingV3 {
        bool active = false;
        bool awaitingDiscovery = false;
        std::int32_t discoveryMsgId = 0;
        std::int32_t msgId = 0;
        bool resent = false;
        RequestKind kind = RequestKind::Get;
        std::vector<std::uint8_t> pdu;
        std::int32_t requestId = 0;
        std::string oidText;
        PeerDetails agent;
    };
    PendingV3 pendingV3_;
    QByteArray engineId_;
    std::uint32_t engineBoots_ = 0;
    std::atomic<std::int32_t> equipmentFlag_{0};
    PingRun* ping_ = nullptr;  // owned; created on the first Ping click
    mutable std::mutex ipTextMutex_;
    std::string ipText_;
    bool closed_ = false;
    bool deaf_[2] = {false, false};  // socket entry 0 (port 161), 1 (port 162) cannot receive
    bool logStopped_ = false;        // appending to the log waits for the disk's reserve
};

// The notice shown once a run when a log write fails.
inline constexpr const char* kLogWriteNotice =
    "LOGファイルへの書き込みに失敗しました（ディスクの空き不足など）。書けなかった行はログに残りません。"
    "空きができれば書き込みを再開します。";

}  // namespace quillet
