#!/usr/bin/python3
"""Sends one packet of the redundancy link as a peer server would, built here from the
documented layout alone (MBAP header with transaction and protocol identifiers 0 and the
length in byte 5, unit 0, function code, byte count, data):

  peer_packet.py SOURCE DESTINATION PORT ack PATH [TIME]
  peer_packet.py SOURCE DESTINATION PORT time YEAR MONTH DAY HOUR MINUTE SECOND MILLISECOND

SOURCE is the local address the connection comes from. Exit 0 when the bytes were sent."""
import socket
import struct
import sys


def frame(function, data):
    pdu = struct.pack(">BBB", 0, function, len(data) % 256) + data
    return struct.pack(">HHBB", 0, 0, 0, len(pdu)) + pdu


def ack_packet(path, when):
    encoded = path.encode("latin-1")
    data = struct.pack(">BIIB", 1, when >> 32, when & 0xFFFFFFFF, len(encoded)) + encoded
    return frame(0x4B, data)


def time_packet(year, month, day, hour, minute, second, millisecond):
    return frame(0x46, bytes([millisecond % 100, millisecond // 100, second, minute, hour, day,
                              month, year % 100]))


def main(argv):
    source, destination, port, kind = argv[1], argv[2], int(argv[3]), argv[4]
    if kind == "ack":
        when = int(argv[6]) if len(argv) > 6 else 133000000000000000
        packet = ack_packet(argv[5], when)
    else:
        packet = time_packet(*[int(a) for a in argv[5:12]])
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((source, 0))
        s.settimeout(5)
        s.connect((destination, port))
        s.sendall(packet)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
