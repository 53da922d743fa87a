// The main window: every control of the console, start-up and shutdown, the
// socket table with its send path, the traffic counters and the writers.
//
// Controls are public members named by role and kind, as the operations of
// the request, response, trap and ping subsystems use them. Everything here
// runs on the GUI thread except the writers (WriteLine, DumpPdu,
// ChargeOutput, WriteLogMark, Commit), which any thread may call.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "console/ConsoleOutput.h"
#include "console/ErrorReporter.h"
#include "console/PanePacer.h"
#include "console/platform/DatagramQueue.h"
#include "console/platform/LogFile.h"
#include "console/platform/UdpSocket.h"
#include "request/RequestOperation.h"
#include "request/RequestState.h"

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace quillet {

class MessageBoxReporter;
class UpDown;
class T_Port161;
class T_Port162;
class PingRun;

struct PreboundSockets;

// What tests may change; the shipped program always uses the defaults.
struct ConsoleConfig {
    std::uint16_t requestPort = 161;  // local port of socket entry 0; entry 1 is this + 1
    std::uint16_t trapPort = 162;     // local port of socket entry 1
    std::uint16_t agentPort = 161;    // destination port of requests
    // Local address to bind (all interfaces by default; tests use loopback).
    Ipv4Endpoint bindAddress{};
    ErrorReporter* reporter = nullptr;  // null: real message boxes
    bool startListeners = true;
    // Receive buffer asked for each socket: large enough to ride out a stall
    // of the receiving thread in a trap storm (the bench models a stock
    // system's limit with it). And the bound of each listener's queue.
    int receiveBuffer = 4 * 1024 * 1024;
    DatagramQueueBound listenerQueue{};
    // The socket table made before the window (the shipped program binds
    // first and then gives up its privileges). Null: SetupSocket creates
    // and binds each socket itself. Either way the failures are reported
    // at the same point of start-up, in the same order.
    PreboundSockets* prebound = nullptr;
};

// One socket of the table created and bound ahead of the window, with what
// each step gave.
struct PreboundSocket {
    UdpSocket socket;
    bool created = false;
    bool bound = false;
};

struct PreboundSockets {
    int socketLayerResult = -1;  // StartSocketLayer()
    PreboundSocket entries[2];
};

struct SocketEntry {
    UdpSocket socket;
    Ipv4Endpoint local;
    Ipv4Endpoint destination;
};

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
    QCheckBox* dataDisplayCheckBox;
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
    QPlainTextEdit* OutMemo;
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

    // Selected protocol version: 0 = SNMPv1, 1 = SNMPv2c.
    int Version() const;
    // Selected set value type: 0 integer, 1 IpAddress, 2 hex, 3 ASCII.
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

    // Starts the socket layer and creates and binds both sockets of the
    // table for `config`'s ports and address, reporting nothing: the window
    // made with `prebound` set to `sockets` reports the failures. Needs no
    // Qt object, so it can run before the application exists.
    static void BindSocketTable(const ConsoleConfig& config, PreboundSockets& sockets);

    // Socket table and send path (GUI thread).
    void SetupSocket(int index);
    void SendDatagram(int index, const std::uint8_t* data, int length);
    SocketEntry& SocketAt(int index) { return SocketTable[index]; }
    // The most traps that ever waited in the trap listener's queue (bench).
    std::size_t TrapListenerMostQueued() const;
    const std::string& AgentAddressText() const { return agentAddressText_; }
    void SetAgentAddress(const std::string& text, const std::uint8_t octets[4]);

    // The writers; any thread.
    void WriteLine(std::string_view text, int kind) { output_.WriteLine(text, kind); }
    void DumpPdu(const std::uint8_t* data, std::size_t length, int kind) { output_.DumpPdu(data, length, kind); }
    void ChargeOutput(int count) { output_.ChargeOutput(count); }
    void WriteLogMark(int which);
    void Commit(const OutputBatch& batch) { output_.Commit(batch); }
    ConsoleOutput& Output() { return output_; }

    // Applies the pending pane work now (the GUI thread does this by itself
    // at most once a frame; handlers and tests call it for immediacy).
    // False when there was none.
    bool FlushPane();

    RequestState& Request() { return request_; }
    ErrorReporter& Reporter() { return *reporter_; }
    const std::string& LogFileName() const { return logFileName_; }
    bool LogOpen() const { return logFile_.IsOpen(); }
    // How often the log-write notice was shown (at most once a run).
    int LogWriteNotices() const { return logWriteNotices_; }
    // The text of IpEdit as last typed, readable from any thread (ping).
    std::string IpText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void StartUp();
    void StartListeners();
    void StopListeners();
    void StopPing();
    void FormClose();
    void ColourByPosition(int position, QLineEdit* first, QLineEdit* second, QLineEdit* third);
    void SchedulePaneFlush();
    // Milliseconds until the pending pane work is due (PanePacer's rules).
    int PaneDelayMs();
    void RunRequest(RequestKind kind);
    void ShowLogWriteNotice();

    ConsoleConfig config_;
    std::unique_ptr<MessageBoxReporter> ownReporter_;  // when the config brings none
    ErrorReporter* reporter_;
    ConsoleOutput output_;
    LogFile logFile_;
    std::string logFileName_;
    SocketEntry SocketTable[2];
    std::string agentAddressText_;
    RequestState request_;
    std::atomic<std::int32_t> equipmentFlag_{0};
    T_Port161* port161_ = nullptr;
    T_Port162* port162_ = nullptr;
    PingRun* ping_ = nullptr;  // owned; created on the first Ping click
    mutable std::mutex ipTextMutex_;
    std::string ipText_;
    QTimer paneTimer_;
    PanePacer panePacer_;
    PaneUpdate paneUpdate_;
    bool closed_ = false;
    int logWriteNotices_ = 0;
};

// The notice shown once a run when a log write fails.
inline constexpr const char* kLogWriteNotice =
    "LOGファイルへの書き込みに失敗しました（ディスクの空き不足など）。書けなかった行はログに残りません。"
    "空きができれば書き込みを再開します。";

}  // namespace quillet
