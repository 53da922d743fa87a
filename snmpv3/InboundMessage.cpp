#include "snmpv3/InboundMessage.h"

namespace quillet {

void ScanInboundMessage(const std::uint8_t* data, std::size_t size, InboundMessage& out) {
    out.community = CommunityMessage{};
    if (IsSnmpV3Message(data, size)) {
        out.version = MessageVersion::V3;
        ScanV3Message(data, size, out.v3);
        return;
    }
    out.v3 = V3MessageScan{};
    ReadCommunityMessage(data, size, out.community);
    const CommunityMessage& message = out.community;
    out.version = MessageVersion::Other;
    if (message.read && message.version.length == 1 && data[message.version.start] <= 1)
        out.version = data[message.version.start] == 0 ? MessageVersion::V1 : MessageVersion::V2c;
}

}  // namespace quillet
