// Our engine on a loopback port, answering SNMPv3 informs as the trap port
// will: a Report to whatever does not open (discovery among them), the
// acknowledgement to an inform that does. For usm_inform_test.sh.
//   usm_inform_probe PORT COUNT
// Users iuser (SHA-256, AES) and imd5 (MD5, DES), pass phrases
// "authpass123" and "privpass123". Prints one line per datagram; exits 0
// once COUNT informs were acknowledged, 1 after 20 s or 50 datagrams
// without that, 2 on a bad argument or socket.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/UdpSocket.h"
#include "snmpv3/LocalEngine.h"
#include "snmpv3/MessageOpen.h"
#include "snmpv3/MessageScan.h"

using namespace quillet;

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const int port = std::atoi(argv[1]);
    const int count = std::atoi(argv[2]);
    UsmUserTable users;
    for (const auto& [name, auth, priv] : {std::tuple{"iuser", AuthProtocol::Sha256, PrivProtocol::Aes128},
                                          std::tuple{"imd5", AuthProtocol::Md5, PrivProtocol::Des}}) {
        UsmUser user;
        std::string error;
        if (!MakeUserFromPassPhrases(name, auth, "authpass123", priv, "privpass123", user, error)) return 2;
        users.Add(user);
    }
    LocalEngineId id;
    if (!MakeLocalEngineId(id)) return 2;
    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [&] {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    };
    LocalEngine engine(id, 1, seconds());
    SaltSource salts(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));

    UdpSocket socket;
    Ipv4Endpoint local{{127, 0, 0, 1}, static_cast<std::uint16_t>(port)};
    if (!socket.Create() || !socket.BindTo(local)) return 2;
    std::vector<std::uint8_t> in(65536), plain(65536), out(65536 + 512);
    int acknowledged = 0;
    for (int datagrams = 0; datagrams < 50 && seconds() < 20 && acknowledged < count;) {
        if (socket.WaitReadable(500) != 1) continue;
        Ipv4Endpoint sender;
        const int size = socket.ReceiveFrom(in.data(), in.size(), sender);
        if (size < 0) return 2;
        ++datagrams;
        V3MessageScan scan;
        ScanV3Message(in.data(), static_cast<std::size_t>(size), scan);
        const std::int64_t now = seconds();
        const EngineClock clock = engine.Clock(now);
        OpenedV3Message opened;
        OpenV3Message(in.data(), static_cast<std::size_t>(size), scan, users, &clock, plain.data(), plain.size(),
                      opened);
        std::size_t length = 0;
        if (opened.status == UsmStatus::Ok) {
            const PrivProtocol priv = opened.user->priv;
            length = BuildV3InformAck(engine, now, in.data(), scan, opened, salts.Next(priv, clock.boots), out.data(),
                                      out.size());
            if (length > 0) ++acknowledged;
            std::printf("%s: %s\n", opened.user->name.c_str(), length > 0 ? "acknowledged" : "not an inform");
        } else {
            length = BuildUsmReport(engine, now, in.data(), scan, opened, out.data(), out.size());
            std::printf("%s: %s\n", UsmStatusText(opened.status), length > 0 ? "reported" : "dropped");
        }
        std::fflush(stdout);
        if (length > 0 && socket.SendTo(sender, out.data(), length) < 0) return 2;
    }
    return acknowledged == count ? 0 : 1;
}
