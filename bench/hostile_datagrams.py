#!/usr/bin/env python3
"""The datagrams of the hostile flood (step (h)), and the count of their records.

    hostile_datagrams.py make DIR
    hostile_datagrams.py count noise|long-name LOGFILE

`make` writes DIR/noise.bin and DIR/long_name_trap.bin and prints
"noise=<bytes> long_name_trap=<bytes> name_octets=<octets> name_text=<characters>".

- noise.bin: 65,000 bytes from a fixed seed, its first octet FF, so that
  it is no BER message at all: the console shows it as a datagram of no
  known kind (a frame error) with its whole dump.
- long_name_trap.bin: an SNMPv2c trap, version 1, community "ravine",
  SNMPv2-Trap-PDU (A7), request-id 1, whose bindings are sysUpTime.0
  (TimeTicks 12345), snmpTrapOID.0 (1.3.6.1.4.1.8072.2.3.0.1) and one whose
  name is an identifier of NAME_OCTETS octets, 1.3.6.1.4.1 and then .1 over
  and over, with the value INTEGER 1. Its name takes two characters of text
  an octet, so its log line is about 130,000 characters long. Lengths are
  written as net-snmp's snmptrap writes them (one octet below 128, 81 n up
  to 255, 82 hi lo above); with a short name the same function gives
  snmptrap's bytes (`snmptrap -v2c -c ravine ADDR:PORT 12345
  1.3.6.1.4.1.8072.2.3.0.1 1.3.6.1.4.1.1.1.1 i 1`, but for its random
  request-id).

`count` prints, as count_log.py does, "records= complete= lines_per_record=
other_bytes= loss_lines= lost=": the records of the log that equal, byte for
byte, the block of lines the console is known to write for that datagram.
The expected lines are built here from the datagram's design, not from the
log.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from count_log import LOSS_HEADS, count_records, dump_lines  # noqa: E402

NOISE_BYTES = 65000
NOISE_SEED = 162
NAME_OCTETS = 64900
COMMUNITY = b"ravine"
REQUEST_ID = 1
UPTIME = 12345
TRAP_OID = (1, 3, 6, 1, 4, 1, 8072, 2, 3, 0, 1)
SYS_UP_TIME_0 = (1, 3, 6, 1, 2, 1, 1, 3, 0)
SNMP_TRAP_OID_0 = (1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0)
NAME_PREFIX = (1, 3, 6, 1, 4, 1)


def ber_length(n):
    if n < 0x80:
        return bytes([n])
    if n <= 0xFF:
        return bytes([0x81, n])
    assert n <= 0xFFFF
    return bytes([0x82, n >> 8, n & 0xFF])


def tlv(tag, content):
    return bytes([tag]) + ber_length(len(content)) + content


def ber_integer(tag, value):
    # Fewest octets in two's complement (an unsigned TimeTicks gets a
    # leading 00 where its top bit is set, as for a positive INTEGER).
    size = 1
    while not -(1 << (8 * size - 1)) <= value < (1 << (8 * size - 1)):
        size += 1
    return tlv(tag, value.to_bytes(size, "big", signed=True))


def subidentifier(value):
    octets = [value & 0x7F]
    value >>= 7
    while value:
        octets.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(octets))


def oid_content(arcs):
    return b"".join(subidentifier(a) for a in [40 * arcs[0] + arcs[1]] + list(arcs[2:]))


def oid_text(arcs):
    return ".".join(str(a) for a in arcs)


def long_name_content(octets):
    """1.3.6.1.4.1 and then .1 up to `octets` octets."""
    prefix = oid_content(NAME_PREFIX)
    return prefix + b"\x01" * (octets - len(prefix))


def long_name_text(octets):
    return oid_text(NAME_PREFIX) + ".1" * (octets - len(oid_content(NAME_PREFIX)))


def notification(name_content, request_id=REQUEST_ID, uptime=UPTIME):
    bindings = (tlv(0x30, tlv(0x06, oid_content(SYS_UP_TIME_0)) + ber_integer(0x43, uptime))
                + tlv(0x30, tlv(0x06, oid_content(SNMP_TRAP_OID_0)) + tlv(0x06, oid_content(TRAP_OID)))
                + tlv(0x30, tlv(0x06, name_content) + ber_integer(0x02, 1)))
    pdu = tlv(0xA7, ber_integer(0x02, request_id) + ber_integer(0x02, 0) + ber_integer(0x02, 0)
              + tlv(0x30, bindings))
    return tlv(0x30, ber_integer(0x02, 1) + tlv(0x04, COMMUNITY) + pdu)


def noise():
    data = bytearray(random.Random(NOISE_SEED).randbytes(NOISE_BYTES))
    data[0] = 0xFF
    return bytes(data)


def long_name_trap():
    return notification(long_name_content(NAME_OCTETS))


def noise_lines(data):
    # Neither a whole SNMPv1 trap nor an SNMPv2c notification.
    return (["TRAP受信  SIZE=%d" % len(data), "  TRAP-TYPE=", "  受信DATA="]
            + dump_lines(data) + ["  受信フレーム異常！"])


def long_name_lines(data):
    # An enterpriseSpecific trap outside the equipment prefix: snmpTrapOID.0
    # and then every later binding as a response's binding lines.
    return (["TRAP受信  SIZE=%d" % len(data), "  TRAP-TYPE=enterpriseSpecific", "  受信DATA="]
            + dump_lines(data)
            + ["  object ID =" + oid_text(SNMP_TRAP_OID_0),
               "  応答データ(OBJECT IDENTIFIER)=" + oid_text(TRAP_OID),
               "  object ID =" + long_name_text(NAME_OCTETS),
               "  応答データ(Integer)=1"])


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "make":
        made = {"noise": noise(), "long_name_trap": long_name_trap()}
        for name, data in made.items():
            assert len(data) <= 65507, "too long for one UDP datagram"
            with open(os.path.join(sys.argv[2], name + ".bin"), "wb") as f:
                f.write(data)
        print("noise=%d long_name_trap=%d name_octets=%d name_text=%d"
              % (len(made["noise"]), len(made["long_name_trap"]), NAME_OCTETS, len(long_name_text(NAME_OCTETS))))
    elif len(sys.argv) == 4 and sys.argv[1] == "count" and sys.argv[2] in ("noise", "long-name"):
        lines = noise_lines(noise()) if sys.argv[2] == "noise" else long_name_lines(long_name_trap())
        print(count_records(lines, sys.argv[3], LOSS_HEADS["trap"]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
