#!/usr/bin/env python3
"""Counts the datagrams the console logged, and how many were logged whole.

    count_log.py trap LOGFILE TRAP_HEX_FILE
    count_log.py response LOGFILE RESPONSE_HEX_FILE

The log holds code page 932 lines ended by CR LF. Every datagram of a run is
the same, so every record block must be the same bytes. The expected block is
built here from the datagram's bytes and the texts the console is known to
write, not taken from the log, so a wrong line shows as an incomplete block.

Prints: records=<blocks that begin with the header> complete=<blocks equal to
the expected bytes> lines_per_record=<lines of the expected block>
other_bytes=<bytes of the file that are neither complete blocks nor loss
lines> loss_lines=<lines that say datagrams were lost> lost=<the numbers
they say, added up>.
"""
import re
import sys

# The line a listener writes where datagrams were lost, and its count.
LOSS_HEADS = {"trap": "TRAP受信欠落  COUNT=", "response": "response 受信欠落  COUNT="}


def dump_lines(data):
    """The console's dump of a byte string: 16 bytes a line."""
    lines = []
    for at in range(0, len(data), 16):
        group = data[at:at + 16]
        hexes = "".join("%02X " % b for b in group) + "   " * (16 - len(group))
        chars = "".join(chr(b) if 0x20 <= b <= 0x7E else "." for b in group)
        lines.append("  " + hexes + "  " + chars)
    return lines


def equipment_trap_lines(data):
    # The bench trap: an equipment alarm, identifier 6, detail 10, position 3,
    # mounting position 255, time 20050307090500.
    return ([
        "TRAP受信  SIZE=%d" % len(data),
        "  TRAP-TYPE=enterpriseSpecific",
        "  受信DATA=",
    ] + dump_lines(data) + [
        "  事象識別子      =装置警報(major)  ",
        "  事象詳細情報    =EQP          ",
        "  事象発生位置    =3",
        "  事象発生実装位置=本体部分など",
        "  事象発生時刻    =2005年3月7日9時5分0秒",
    ])


def response_lines(data):
    # The bench response: SNMPv1, request-id 1234, one binding
    # 1.3.6.1.2.1.1.1.0 = OCTET STRING "Quillet bench agent".
    value = b"Quillet bench agent"
    assert data.endswith(value), "unexpected response datagram"
    return ([
        "get response 受信 request ID=1234  SIZE=%d" % len(data),
        "  受信DATA=",
    ] + dump_lines(data) + [
        "  object ID =1.3.6.1.2.1.1.1.0",
        "  応答データ(OCTET STRING  SIZE=%d)=" % len(value),
    ] + dump_lines(value))


def count_records(lines, log_path, loss_head):
    """The counts line for a run whose every record should be `lines`.

    The log is read a piece at a time (a flood's log runs to gigabytes); a
    match is counted in the piece where it ends, so one that straddles two
    pieces is counted once."""
    block = b"".join(line.encode("cp932") + b"\r\n" for line in lines)
    header = lines[0].split("SIZE=")[0].encode("cp932") + b"SIZE="
    loss = re.compile(re.escape(loss_head.encode("cp932")) + rb"([0-9]+)\r\n")
    keep = max(len(block), 64)
    records = complete = loss_lines = lost = loss_bytes = size = 0
    carry = b""
    with open(log_path, "rb") as f:
        while True:
            piece = f.read(64 << 20)
            if not piece:
                break
            size += len(piece)
            buf = carry + piece
            old = len(carry)
            for pattern in (header, block):
                at = buf.find(pattern, max(0, old - len(pattern) + 1))
                n = 0
                while at >= 0:
                    n += 1
                    at = buf.find(pattern, at + len(pattern))
                if pattern is header:
                    records += n
                else:
                    complete += n
            for m in loss.finditer(buf):
                if m.end() > old:
                    loss_lines += 1
                    lost += int(m.group(1))
                    loss_bytes += len(m.group(0))
            carry = buf[-keep:]
    return ("records=%d complete=%d lines_per_record=%d other_bytes=%d loss_lines=%d lost=%d"
            % (records, complete, len(lines), size - complete * len(block) - loss_bytes, loss_lines, lost))


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("trap", "response"):
        sys.exit(__doc__)
    kind, log_path, hex_path = sys.argv[1:]
    with open(hex_path) as f:
        data = bytes.fromhex(f.read())
    lines = equipment_trap_lines(data) if kind == "trap" else response_lines(data)
    print(count_records(lines, log_path, LOSS_HEADS[kind]))


if __name__ == "__main__":
    main()
