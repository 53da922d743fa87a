#include "console/SocketTable.h"

#include <algorithm>
#include <iterator>

#include "listener/T_Port161.h"
#include "listener/T_Port162.h"
#include "platform/BindFailureText.h"
#include "platform/PortHolders.h"

namespace quillet {
namespace {

// Where requests go until the first accepted request names the agent.
constexpr std::uint8_t kPlaceholderOctets[4] = {127, 0, 0, 1};

// The local address of entry `index`: all interfaces (or the test's
// address), port 161 + index by default.
Endpoint LocalAddressOf(const ConsoleConfig& config, int index) {
    Endpoint local = config.bindAddress;
    local.port = index == 0 ? config.requestPort : config.trapPort;
    return local;
}

}  // namespace

SocketTable::SocketTable(const ConsoleConfig& config) : config_(config) {}

SocketTable::~SocketTable() { StopListeners(); }

void SocketTable::Bind(const ConsoleConfig& config, PreboundSockets& sockets) {
    sockets.socketLayerResult = StartSocketLayer();
    for (int index = 0; index < 2; ++index) {
        PreboundSocket& entry = sockets.entries[index];
        entry.created = entry.socket.Create();
        entry.bound = entry.socket.BindTo(LocalAddressOf(config, index), config.receiveBuffer, config.receiveSockets);
    }
}

std::vector<std::string> SocketTable::Setup(int index, ErrorReporter& reporter) {
    SocketEntry& entry = entries_[index];
    entry.local = LocalAddressOf(config_, index);
    entry.destination = Endpoint::V4(kPlaceholderOctets, static_cast<std::uint16_t>(config_.agentPort + index));
    bool created;
    bool bound;
    if (config_.prebound != nullptr) {
        PreboundSocket& made = config_.prebound->entries[index];
        entry.socket.TakeOver(made.socket);
        created = made.created;
        bound = made.bound;
    } else {
        created = entry.socket.Create();
        bound = entry.socket.BindTo(entry.local, config_.receiveBuffer, config_.receiveSockets);
    }
    entry.socket.SetDestination(entry.destination);
    std::vector<std::string> boxes;
    if (!created) boxes.push_back("recv socket=NG  当プログラムを既に起動していませんか？ ");
    if (!bound) boxes.push_back(BindFailureMessage(DescribeBindFailure(entry.local.port, entry.socket.LastError())));
    for (const std::string& text : boxes) reporter.ShowError(text);
    return boxes;
}

void SocketTable::SetAgent(const Endpoint& agent) {
    SocketEntry& entry = entries_[0];
    entry.destination = agent;
    entry.socket.SetDestination(entry.destination);
}

bool SocketTable::Send(int index, const std::uint8_t* data, int length, int& error, const Endpoint* to) {
    error = 0;
    const std::size_t size = static_cast<std::size_t>(length);
    UdpSocket& socket = entries_[index].socket;
    return (to != nullptr ? socket.SendTo(*to, data, size, &error) : socket.Send(data, size, &error)) == length;
}

void SocketTable::StartListeners(ConsoleOutput& output, ErrorReporter& reporter, RequestState& request,
                                 RequestTracker& tracker, std::atomic<std::int32_t>& equipmentFlag, V3Requests& v3,
                                 std::function<void(V3Taken&&)> onFollowup,
                                 std::function<void(std::vector<std::uint8_t>&&)> onWalkAnswer,
                                 const V3Users& users, ByteSpan engineId, std::uint32_t engineBoots) {
    port161_ = new T_Port161(entries_[0].socket, output, reporter, request, tracker, v3, std::move(onFollowup),
                             config_.listenerQueue, std::move(onWalkAnswer));
    port161_->start();
    port162_ = new T_Port162(entries_[1].socket, output, reporter, equipmentFlag, users, engineId, engineBoots,
                             config_.listenerQueue);
    port162_->start();
}

std::size_t SocketTable::TrapListenerMostQueued() const {
    return port162_ != nullptr ? port162_->MostQueued() : 0;
}

void SocketTable::StopListeners() {
    ListenerThread* listeners[] = {port161_, port162_};
    // Both stop together: each reports what it had queued within the same
    // bound of time, not one after the other.
    for (ListenerThread* listener : listeners)
        if (listener != nullptr) listener->RequestStop();
    for (ListenerThread* listener : listeners) {
        if (listener == nullptr) continue;
        listener->WaitStopped();
        delete listener;
    }
    port161_ = nullptr;
    port162_ = nullptr;
}

}  // namespace quillet
