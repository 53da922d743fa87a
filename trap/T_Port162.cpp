#include "trap/T_Port162.h"

#include "trap/TrapReport.h"

namespace quillet {

T_Port162::T_Port162(UdpSocket& socket, ConsoleOutput& output, ErrorReporter& reporter,
                     std::atomic<std::int32_t>& equipmentFlag, DatagramQueueBound bound)
    : ListenerThread(socket, output, reporter,
                     "PORT162受信エラー： Ether Port 162aを使用するプログラムを起動していませんか？ ", kLossLineHead,
                     bound),
      equipmentFlag_(equipmentFlag) {}

void T_Port162::HandleDatagram(const std::uint8_t* data, int size, const Ipv4Endpoint& /*sender*/,
                               OutputBatch& batch) {
    std::int32_t flag = equipmentFlag_.load();
    ReportTrap(data, size, scan_, flag, batch);
    equipmentFlag_.store(flag);
}

}  // namespace quillet
