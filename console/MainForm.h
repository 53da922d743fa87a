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

#include <array>
#include <optional>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "console/QueuedCalls.h"
#include "console/Settings.h"
#include "console/SocketTable.h"
#include "console/TransportDialog.h"
#include "console/V3Dialog.h"
#include "exchange/SubtreeWalk.h"
#include "exchange/V3Requests.h"
#include "exchange/V3Users.h"
#include "listener/T_Port161.h"
#include "output/ConsoleOutput.h"
#include "output/DetailLines.h"
#include "output/ErrorReporter.h"
#include "platform/LogFile.h"
#include "request/AgentTransport.h"
#include "request/RequestOperation.h"
#include "request/RequestState.h"
#include "request/RequestTracker.h"

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QAction;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace quillet {

class MessageBoxReporter;
class OutputPane;
class PaneFindBar;
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
    QPushButton* WalkButton;
    QPushButton* TransportButton;
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
    PaneFindBar* FindBar = nullptr;  // hidden until Ctrl+F
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
    // Walks the subtree under OID1, or stops the walk going on.
    void WalkButtonClick();
    void TransportButtonClick();
    void PingButtonClick();

    // The pane's session (console/PaneActions.cpp). Ctrl+F opens the find
    // bar, F3 and Shift+F3 find on; Ctrl+S saves the pane; its context menu
    // (PaneMenu) adds these and the clearing of the pane to Qt's own.
    void SavePaneClick();
    // Writes the pane's text, the work pending for it included, to `path`
    // in UTF-8, a line break after each line. A failure is said in a box;
    // returns whether the file was written.
    bool SavePaneTo(const QString& path);
    // Empties the pane, the lines still on their way included; unlike
    // ClrButton it leaves the counters as they are.
    void ClearPaneClick();
    // The pane's context menu, for the caller to show and delete.
    QMenu* PaneMenu();
    void V3SettingsButtonClick();

    // The SNMPv3 settings as the dialog's OK gives them (tests and tools use
    // it without the dialog): users without secrets in `values` keep the
    // keys the window holds for them (MakeV3Config). False, with the reason
    // in `error`, for values that make no usable configuration; the settings
    // but the secrets are remembered.
    bool ApplyV3Settings(const V3DialogValues& values, std::string& error);
    V3Dialog& V3SettingsDialog() { return *v3Dialog_; }
    // The SNMPv3 settings in force, without secrets.
    const V3DialogValues& V3Values() const { return v3Values_; }
    std::shared_ptr<const V3Config> V3Configuration() const { return v3Users_.Config(); }
    // The console's own engine ID and boots of this run.
    const QByteArray& LocalEngineId() const { return engineId_; }
    std::uint32_t LocalEngineBoots() const { return engineBoots_; }

    // The send path: sends from socket entry `index` (to `to` when given,
    // else to the entry's destination) and counts the datagram in SendCount
    // when it left whole. A failed send is said by a line in the pane and
    // the log, after the request's lines, and in a box. Returns whether the
    // datagram left.
    bool SendDatagram(int index, const std::uint8_t* data, int length, const Endpoint* to = nullptr);
    const std::string& AgentAddressText() const { return agentAddressText_; }
    void SetAgentAddress(const std::string& text, const Endpoint& agent);
    // The agent's port, the timeout and the retries in force; Apply keeps
    // them for the next start and aims the next request with them.
    const AgentTransport& Transport() const { return transport_; }
    void ApplyTransport(const AgentTransport& transport);
    TransportDialog& TransportSettingsDialog() { return *transportDialog_; }
    // True while a subtree walk goes on.
    bool Walking() const { return walk_ != nullptr; }

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
    void CreatePaneActions();
    // Places the pane and its find bar for the window's size and whether the
    // bar is open.
    void PlacePane();
    void ConnectHandlers();
    void StartUp();
    // Sets up socket entry `index`; when it cannot receive, the boxes' lines
    // go to the pane and the log, and the window's title says so.
    void SetupSocket(int index);
    // The console's engine ID and boots for this run, from the settings
    // file; an ID of this run alone when the boots cannot be kept.
    void StartLocalEngine();
    // Makes the process not dumpable for the rest of the run, the first time
    // secrets may come in (a failure is said in a line). Not before: a
    // process not dumpable hides which program it is from a second copy's
    // bind box (its /proc/PID/fd belongs to root).
    void ForbidCoreDumpsOnce();
    // Commits one line to the pane and the log.
    void WriteStartUpLine(const std::string& line);
    // Says once a run, in the title and a line, that the settings file
    // cannot be kept, and why.
    void SaySettingsLost();
    // Puts a configuration the dialog's values made in force, and remembers
    // the values without their secrets.
    void InstallV3Config(std::shared_ptr<V3Config> config, const V3DialogValues& values);
    void ShowTitle();
    void StopPing();
    void FormClose();
    void ColourByPosition(int position, QLineEdit* first, QLineEdit* second, QLineEdit* third);
    void RunRequest(RequestKind kind);
    // Checks, reports and sends a request of `fields`; false when it did not
    // leave (an input error, a failed send).
    bool RunRequestWith(RequestKind kind, const RequestFields& fields);
    // The SNMPv3 part of a request that passed its checks: handed to the
    // requests in flight, which make its first message.
    bool RunV3Request(RequestKind kind, const std::string& oidText);
    // Commits a message's lines, sends it and waits for its answer.
    bool SendV3(V3Outgoing& outgoing);
    // What an SNMPv3 datagram on the response port asked of the window: the
    // next message of an operation, or the end of one.
    void OnV3Followup(V3Taken& taken);
    // Says so when message `attempt` of SNMPv3 operation `operation` gets
    // no answer in time.
    void WaitForV3Answer(std::uint64_t operation, std::uint32_t attempt);
    // Says so when request `requestId`, sent and tracked, gets no answer in
    // time, after its retries.
    void WaitForAnswer(std::int32_t requestId);
    // The no-answer message and line of request `requestId` after `tries`
    // sends; ends the walk it belonged to.
    void SayNoAnswer(std::int32_t requestId, int tries);
    // The subtree walk: its next request, an answer to it, its end.
    void SendWalkStep();
    void OnWalkAnswer(const std::uint8_t* base, std::size_t pduAt, std::size_t end, std::uint32_t version);
    void FinishWalk();
    void ShowWalking();
    // Keeps the request fields for the next start.
    void RememberFields();
    void RestoreFields();

    ConsoleConfig config_;
    Settings settings_;
    std::unique_ptr<MessageBoxReporter> ownReporter_;  // when the config brings none
    ErrorReporter* reporter_;
    // Calls from the listeners and the log's writer to the GUI thread;
    // declared before what runs those threads, so it outlives them.
    QueuedCalls calls_{this};
    ConsoleOutput output_;
    OutputPane* pane_ = nullptr;  // a child; made with the controls
    QAction* findAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* clearPaneAction_ = nullptr;
    LogFile logFile_;
    std::string logFileName_;
    SocketTable sockets_;
    std::string agentAddressText_;
    RequestState request_;
    RequestTracker tracker_;
    V3Users v3Users_;
    V3Requests v3Requests_{v3Users_};
    V3Dialog* v3Dialog_ = nullptr;  // a child; made with the controls
    V3DialogValues v3Values_;        // in force, without secrets
    AgentTransport transport_;
    std::optional<Endpoint> agent_;  // the agent's address as last accepted (its port the transport's)
    TransportDialog* transportDialog_ = nullptr;  // a child; made with the controls
    // The walk going on, and the SNMPv3 operation of its latest request.
    std::unique_ptr<SubtreeWalk> walk_;
    std::uint64_t walkOperation_ = 0;
    // The request whose message the message field shows (0: an input
    // error, or nothing): a no-answer message replaces only its own.
    std::int32_t messageRequestId_ = 0;
    QByteArray engineId_;
    std::uint32_t engineBoots_ = 0;
    std::atomic<std::int32_t> equipmentFlag_{0};
    PingRun* ping_ = nullptr;  // owned; created on the first Ping click
    mutable std::mutex ipTextMutex_;
    std::string ipText_;
    bool closed_ = false;
    bool deaf_[2] = {false, false};  // socket entry 0 (port 161), 1 (port 162) cannot receive
    bool logStopped_ = false;        // appending to the log waits for the disk's reserve
    bool settingsLost_ = false;      // the settings file could not be kept this run
    bool coreDumpsForbidden_ = false;
};

// The notice shown once a run when a log write fails.
inline constexpr const char* kLogWriteNotice =
    "LOGファイルへの書き込みに失敗しました（ディスクの空き不足など）。書けなかった行はログに残りません。"
    "空きができれば書き込みを再開します。";

}  // namespace quillet
