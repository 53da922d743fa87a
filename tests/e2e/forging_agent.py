#!/usr/bin/env python3
"""An agent that forges: it answers SNMPv3 discovery with a Report naming an
engine ID, and every other SNMPv3 request with a noAuthNoPriv Response that
names the request's own msgID and user and a request-id it guesses, as an
attacker who sees the request but holds no key would. Bound to ADDRESS:161;
ends after COUNT answers or SECONDS.

usage: forging_agent.py ADDRESS COUNT SECONDS
"""
import socket
import sys
import time

ENGINE_ID = bytes.fromhex("80001f8880f0f0f0f0f0f0f0f0")


def header(tag, length):
    if length < 0x80:
        return bytes([tag, length])
    if length < 0x100:
        return bytes([tag, 0x81, length])
    return bytes([tag, 0x82, length >> 8, length & 0xFF])


def tlv(tag, content):
    return header(tag, len(content)) + content


def integer(value):
    octets = value.to_bytes(4, "big", signed=True)
    while len(octets) > 1 and ((octets[0] == 0 and octets[1] < 0x80) or (octets[0] == 0xFF and octets[1] >= 0x80)):
        octets = octets[1:]
    return tlv(0x02, octets)


def read(data, at):
    """The tag, the content's start and end of the element at `at`."""
    tag, first = data[at], data[at + 1]
    at += 2
    if first < 0x80:
        return tag, at, at + first
    count = first & 0x7F
    length = int.from_bytes(data[at:at + count], "big")
    return tag, at + count, at + count + length


def children(data, start, end):
    out = []
    while start < end:
        tag, content, after = read(data, start)
        out.append((tag, content, after))
        start = after
    return out


def message(msg_id, user, engine_id, pdu):
    global_data = tlv(0x30, integer(msg_id) + integer(65507) + tlv(0x04, b"\x00") + integer(3))
    usm = tlv(0x30, tlv(0x04, engine_id) + integer(0) + integer(0) + tlv(0x04, user) + tlv(0x04, b"") +
              tlv(0x04, b""))
    scoped = tlv(0x30, tlv(0x04, engine_id) + tlv(0x04, b"") + pdu)
    return tlv(0x30, integer(3) + global_data + tlv(0x04, usm) + scoped)


def main():
    address, count, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, 161))
    # The test sends the request once it reads this.
    print("listening", flush=True)
    deadline = time.monotonic() + seconds
    answered = 0
    while answered < count and time.monotonic() < deadline:
        sock.settimeout(max(0.1, deadline - time.monotonic()))
        try:
            data, peer = sock.recvfrom(65536)
        except socket.timeout:
            break
        try:
            _, start, end = read(data, 0)
            version, global_data, usm_octets, scoped = children(data, start, end)[:4]
            msg_id = int.from_bytes(data[children(data, global_data[1], global_data[2])[0][1]:
                                         children(data, global_data[1], global_data[2])[0][2]], "big")
            _, usm_start, usm_end = read(data, usm_octets[1])
            fields = children(data, usm_start, usm_end)
            engine_id = data[fields[0][1]:fields[0][2]]
            user = data[fields[3][1]:fields[3][2]]
        except (IndexError, ValueError):
            continue
        if not engine_id:
            # Discovery: the Report that names "our" engine, request-id as sent.
            pdu_fields = children(data, scoped[1], scoped[2])
            request = pdu_fields[2]
            request_id = children(data, request[1], request[2])[0]
            report = tlv(0xA8, data[request_id[1] - 2:request_id[2]] + integer(0) + integer(0) +
                         tlv(0x30, tlv(0x30, tlv(0x06, bytes.fromhex("2b060106030f01010400")) +
                                       tlv(0x41, b"\x01"))))
            sock.sendto(message(msg_id, b"", ENGINE_ID, report), peer)
        else:
            # The request itself, encrypted: answered in the clear, its msgID
            # and user copied, request-id guessed as counting from 1.
            for guess in (1, 2, 3):
                response = tlv(0xA2, integer(guess) + integer(0) + integer(0) +
                               tlv(0x30, tlv(0x30, tlv(0x06, bytes.fromhex("2b06010201010500")) +
                                             tlv(0x04, b"forged"))))
                sock.sendto(message(msg_id, user, engine_id, response), peer)
        answered += 1
    print("forging agent answered %d" % answered)


if __name__ == "__main__":
    main()
