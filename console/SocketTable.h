// The console's two UDP sockets and the listeners that drain them.
//
// Entry 0 is bound to local port 161: it sends every request (to port 161 of
// the agent) and receives the answers, which T_Port161 reports. Entry 1 is
// bound to local port 162 and receives traps, which T_Port162 reports (and
// through which it acknowledges informs). GUI thread, but for the listeners'
// own threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "listener/DatagramQueue.h"
#include "listener/ListenerTuning.h"
#include "output/ConsoleOutput.h"
#include "output/ErrorReporter.h"
#include "platform/UdpSocket.h"
#include "request/RequestState.h"
#include "request/RequestTracker.h"
#include "exchange/V3Requests.h"

namespace quillet {

class T_Port161;
class T_Port162;
struct PreboundSockets;

// What tests may change; the shipped program always uses the defaults.
struct ConsoleConfig {
    std::uint16_t requestPort = 161;  // local port of socket entry 0
    std::uint16_t trapPort = 162;     // local port of socket entry 1
    std::uint16_t agentPort = 161;    // destination port of requests
    // Local address to bind (all interfaces of both families by default;
    // tests use loopback).
    Endpoint bindAddress{};
    ErrorReporter* reporter = nullptr;  // null: real message boxes
    bool startListeners = true;
    // Receive buffer asked for each socket: large enough to ride out a stall
    // of the receiving thread in a trap storm (the bench models a stock
    // system's limit with it). And the bound of each listener's queue.
    int receiveBuffer = 4 * 1024 * 1024;
    // Sockets bound to each port as one group, each with that buffer.
    int receiveSockets = tuning::kReceiveSockets;
    DatagramQueueBound listenerQueue{};
    // The socket table made before the window (the shipped program binds
    // first and then gives up its privileges). Null: the table creates and
    // binds each socket itself. Either way the failures are reported at the
    // same point of start-up, in the same order.
    PreboundSockets* prebound = nullptr;
    // The settings file; empty: the user's (console/Settings.h).
    std::string settingsFile;
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
    Endpoint local;
    Endpoint destination;
};

class SocketTable {
public:
    explicit SocketTable(const ConsoleConfig& config);
    ~SocketTable();
    SocketTable(const SocketTable&) = delete;
    SocketTable& operator=(const SocketTable&) = delete;

    // Starts the socket layer and creates and binds both sockets for
    // `config`'s ports and address, reporting nothing: a table made with
    // `prebound` set to `sockets` reports the failures. Needs no Qt object,
    // so it can run before the application exists.
    static void Bind(const ConsoleConfig& config, PreboundSockets& sockets);

    // Creates and binds entry `index` (or takes it over from the prebound
    // table), aims it at the placeholder agent, and reports a failure of
    // either step in a box. Returns the texts of the boxes it showed: none
    // when the entry is bound and can receive.
    std::vector<std::string> Setup(int index, ErrorReporter& reporter);
    // Aims entry 0 at the agent (its address and port).
    void SetAgent(const Endpoint& agent);
    // Sends `length` bytes from entry `index` to its destination, or to
    // `to` when given. Returns true when the whole datagram left; else
    // false, with the system's error number in `error`.
    bool Send(int index, const std::uint8_t* data, int length, int& error, const Endpoint* to = nullptr);

    // Starts and stops the two listeners. A stop returns once both have
    // reported what they had queued (within tuning::kStopReportMs) and ended.
    // `v3` and `onFollowup` are the response listener's (T_Port161); `users`,
    // `engineId` and `engineBoots` the trap listener's, for its own engine
    // (T_Port162).
    void StartListeners(ConsoleOutput& output, ErrorReporter& reporter, RequestState& request,
                        RequestTracker& tracker, std::atomic<std::int32_t>& equipmentFlag, V3Requests& v3,
                        std::function<void(V3Taken&&)> onFollowup,
                        std::function<void(std::vector<std::uint8_t>&&)> onWalkAnswer, const V3Users& users,
                        ByteSpan engineId, std::uint32_t engineBoots);
    void StopListeners();

    SocketEntry& At(int index) { return entries_[index]; }
    // The most traps that ever waited in the trap listener's queue (bench).
    std::size_t TrapListenerMostQueued() const;

private:
    ConsoleConfig config_;
    SocketEntry entries_[2];
    T_Port161* port161_ = nullptr;
    T_Port162* port162_ = nullptr;
};

}  // namespace quillet
