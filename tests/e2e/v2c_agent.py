#!/usr/bin/env python3
"""A small SNMPv2c agent for the transport tests: it answers every
GetRequest with the asked names bound to OCTET STRING "agent-PORT", and in
mode "second" only the second copy of each request (by request-id), as an
agent whose first answer is lost. Bound to ADDRESS:PORT; ends after SECONDS.

usage: v2c_agent.py ADDRESS PORT always|second SECONDS
"""
import socket
import sys
import time


def header(tag, length):
    if length < 0x80:
        return bytes([tag, length])
    return bytes([tag, 0x82, length >> 8, length & 0xFF])


def tlv(tag, content):
    return header(tag, len(content)) + content


def read(data, at):
    tag, first = data[at], data[at + 1]
    at += 2
    if first < 0x80:
        return tag, at, at + first
    count = first & 0x7F
    return tag, at + count, at + count + int.from_bytes(data[at:at + count], "big")


def children(data, start, end):
    out = []
    while start < end:
        element = read(data, start)
        out.append(element)
        start = element[2]
    return out


def main():
    address, port, mode, seconds = sys.argv[1], int(sys.argv[2]), sys.argv[3], float(sys.argv[4])
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, port))
    value = ("agent-%d" % port).encode()
    seen = {}
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        sock.settimeout(max(0.1, deadline - time.monotonic()))
        try:
            data, peer = sock.recvfrom(65536)
        except socket.timeout:
            break
        try:
            _, start, end = read(data, 0)
            version, community, pdu = children(data, start, end)[:3]
            request_id, _, _, bindings = children(data, pdu[1], pdu[2])[:4]
            names = [children(data, b[1], b[2])[0] for b in children(data, bindings[1], bindings[2])]
        except (IndexError, ValueError):
            continue
        key = data[request_id[1]:request_id[2]]
        seen[key] = seen.get(key, 0) + 1
        if mode == "second" and seen[key] < 2:
            continue
        answers = b"".join(tlv(0x30, data[n[1] - 2:n[2]] + tlv(0x04, value)) for n in names)
        response = tlv(0xA2, data[request_id[1] - 2:request_id[2]] + bytes([2, 1, 0, 2, 1, 0]) + tlv(0x30, answers))
        sock.sendto(tlv(0x30, data[version[1] - 2:version[2]] + data[community[1] - 2:community[2]] + response), peer)


if __name__ == "__main__":
    main()
