#!/usr/bin/env python3
"""Build the benchmark trace for `make bench` (bench/run-bench).

    python3 bench/make-bench-trace.py OUT.pcap [FRAMES]      (default 500000)

A classic little-endian pcap file (link type 1, Ethernet) that looks like
real traffic as far as veilcap's work is concerned:

- TCP over IPv4 (about 58 %): SYN/SYN-ACK with MSS, SACK-permitted,
  window scale and timestamps; data segments with timestamps; payloads
  bimodal (pure ACKs without payload, full 1448-byte segments, a few
  medium ones); a little FIN/RST;
- UDP over IPv4 (about 16 %): DNS-sized datagrams and some larger ones,
  about one in ten with checksum 0 (no checksum);
- ICMP (about 5 %): echo request/reply with 56 data bytes, destination
  unreachable and time exceeded quoting an IPv4 + UDP header;
- ARP requests and replies padded to 60 bytes (about 3 %);
- IPv6 with TCP or UDP (about 13 %), ICMPv6 as opaque payload;
- IPv4 with options (record route, router alert) on about 2 % of the
  IPv4 frames; 802.1Q tags on about 8 % of all frames (some stacked).

Hosts are drawn with a Zipf-like popularity (weight 1/rank^1.1 over 20000
IPv4 hosts and 4000 IPv6 hosts), so addresses repeat as in real traffic.
All checksums are correct (except the deliberate UDP zeros). Output is
deterministic: one random.Random with a fixed seed, so repeated runs
produce identical bytes. Standard library only.
"""

import array
import bisect
import random
import struct
import sys

SEED = 7_2026
RNG = random.Random(SEED)
PAYLOAD_POOL = RNG.randbytes(1 << 20)


def checksum_sum(data):
    """Ones' complement sum of the bytes as big-endian 16-bit words (unfolded)."""
    if len(data) & 1:
        data += b"\0"
    words = array.array("H", data)
    words.byteswap()  # little-endian host: make the words big-endian
    return sum(words)


def finish(total):
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def zipf_picker(count, exponent):
    cumulative = []
    total = 0.0
    for rank in range(1, count + 1):
        total += 1.0 / rank ** exponent
        cumulative.append(total)
    rand = RNG.random

    def pick():
        return bisect.bisect_left(cumulative, rand() * total)

    return pick


def ipv4_host(index):
    # Spread over a few realistic prefixes so prefix relations exist.
    nets = (0x0A000000, 0xC0A80000, 0x8D520000, 0x5DB80000, 0xAC100000)
    return struct.pack(">I", nets[index % 5] + (index // 5) * 7 + 1)


IPV4_HOSTS = [ipv4_host(i) for i in range(20000)]
IPV6_HOSTS = [bytes.fromhex("20010db8") + struct.pack(">HHHHHH", i % 97, 0, 0, i >> 8, 0, i)
              for i in range(4000)]
MACS = [bytes([0x02, 0x00, (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF, 0x11]) for i in range(3000)]
PICK4 = zipf_picker(len(IPV4_HOSTS), 1.1)
PICK6 = zipf_picker(len(IPV6_HOSTS), 1.1)
PICKMAC = zipf_picker(len(MACS), 1.1)
BROADCAST = b"\xff" * 6


def payload(length):
    start = RNG.randrange(0, len(PAYLOAD_POOL) - length)
    return PAYLOAD_POOL[start:start + length]


def tcp_payload_length():
    r = RNG.random()
    if r < 0.45:
        return 0
    if r < 0.85:
        return 1448
    return RNG.randrange(1, 1200)


def tcp_segment(src_port, dst_port, payload_bytes, pseudo):
    kind = RNG.random()
    if kind < 0.05:
        flags = 0x002 if RNG.random() < 0.5 else 0x012
        options = (b"\x02\x04\x05\xb4\x04\x02\x08\x0a" + struct.pack(">II", RNG.getrandbits(32), 0)
                   + b"\x01\x03\x03\x07")
        payload_bytes = b""
    else:
        flags = 0x010 | (0x008 if payload_bytes else 0)
        if kind > 0.995:
            flags = 0x004 if kind > 0.998 else 0x011
        options = b"\x01\x01\x08\x0a" + struct.pack(">II", RNG.getrandbits(32), RNG.getrandbits(32))
    offset = (20 + len(options)) // 4
    header = struct.pack(">HHIIHHHH", src_port, dst_port, RNG.getrandbits(32), RNG.getrandbits(32),
                         (offset << 12) | flags, RNG.randrange(512, 65535), 0, 0) + options
    segment = header + payload_bytes
    total = pseudo(6, len(segment)) + checksum_sum(segment)
    return segment[:16] + struct.pack(">H", finish(total)) + segment[18:]


def udp_datagram(src_port, dst_port, payload_bytes, pseudo, zero_checksum):
    length = 8 + len(payload_bytes)
    datagram = struct.pack(">HHHH", src_port, dst_port, length, 0) + payload_bytes
    if zero_checksum:
        return datagram
    value = finish(pseudo(17, length) + checksum_sum(datagram)) or 0xFFFF
    return datagram[:6] + struct.pack(">H", value) + datagram[8:]


def ipv4_packet(protocol, body, src, dst, options=b""):
    header_length = 20 + len(options)
    header = struct.pack(">BBHHHBBH4s4s", 0x40 | (header_length // 4), 0, header_length + len(body),
                         RNG.getrandbits(16), 0x4000, RNG.choice((64, 128, 255, 57)), protocol, 0,
                         src, dst) + options
    header = header[:10] + struct.pack(">H", finish(checksum_sum(header))) + header[12:]
    return header + body


def ipv4_pseudo(src, dst):
    base = checksum_sum(src + dst)
    return lambda protocol, length: base + protocol + length


def ipv6_pseudo(src, dst):
    base = checksum_sum(src + dst)
    return lambda protocol, length: base + protocol + length


def ipv4_options():
    if RNG.random() < 0.5:
        return b"\x94\x04\x00\x00"  # router alert
    return b"\x07\x0b\x04" + b"\0" * 8 + b"\x00"  # record route, 12 bytes


def ports():
    server = RNG.choice((80, 443, 443, 443, 22, 25, 8080, 993))
    client = RNG.randrange(32768, 61000)
    return (client, server) if RNG.random() < 0.5 else (server, client)


def ipv4_frame_body():
    src = IPV4_HOSTS[PICK4()]
    dst = IPV4_HOSTS[PICK4()]
    pseudo = ipv4_pseudo(src, dst)
    options = ipv4_options() if RNG.random() < 0.02 else b""
    r = RNG.random()
    if r < 0.73:
        sport, dport = ports()
        body = tcp_segment(sport, dport, payload(tcp_payload_length()), pseudo)
        return 0x0800, ipv4_packet(6, body, src, dst, options)
    if r < 0.93:
        sport, dport = RNG.randrange(1024, 65535), RNG.choice((53, 53, 53, 123, 443, 5353))
        size = RNG.randrange(20, 200) if RNG.random() < 0.8 else RNG.randrange(200, 1400)
        body = udp_datagram(sport, dport, payload(size), pseudo, RNG.random() < 0.1)
        return 0x0800, ipv4_packet(17, body, src, dst, options)
    if r < 0.985:
        body = struct.pack(">BBHHH", RNG.choice((8, 0)), 0, 0, RNG.getrandbits(16),
                           RNG.getrandbits(16)) + payload(56)
    else:
        quoted = ipv4_packet(17, struct.pack(">HHHH", 40000, 33434, 8 + 32, 0x1234), dst, src)[:28]
        body = struct.pack(">BBHI", RNG.choice((3, 11)), RNG.choice((0, 1, 3)), 0, 0) + quoted
    body = body[:2] + struct.pack(">H", finish(checksum_sum(body))) + body[4:]
    return 0x0800, ipv4_packet(1, body, src, dst, options)


def ipv6_frame_body():
    src = IPV6_HOSTS[PICK6()]
    dst = IPV6_HOSTS[PICK6()]
    pseudo = ipv6_pseudo(src, dst)
    r = RNG.random()
    if r < 0.7:
        sport, dport = ports()
        body, next_header = tcp_segment(sport, dport, payload(tcp_payload_length()), pseudo), 6
    elif r < 0.95:
        body = udp_datagram(RNG.randrange(1024, 65535), 53, payload(RNG.randrange(20, 300)), pseudo,
                            False)
        next_header = 17
    else:
        body, next_header = b"\x80\x00\x00\x00" + payload(60), 58  # ICMPv6, opaque
    header = struct.pack(">IHBB16s16s", 0x60000000 | RNG.getrandbits(20), len(body), next_header,
                         64, src, dst)
    return 0x86DD, header + body


def arp_frame_body():
    sender, target = IPV4_HOSTS[PICK4()], IPV4_HOSTS[PICK4()]
    reply = RNG.random() < 0.4
    sender_mac = MACS[PICKMAC()]
    target_mac = MACS[PICKMAC()] if reply else b"\0" * 6
    body = struct.pack(">HHBBH6s4s6s4s", 1, 0x0800, 6, 4, 2 if reply else 1, sender_mac, sender,
                       target_mac, target)
    return 0x0806, body


def frame():
    r = RNG.random()
    if r < 0.03:
        ether_type, body = arp_frame_body()
        destination = BROADCAST if RNG.random() < 0.6 else MACS[PICKMAC()]
    elif r < 0.16:
        ether_type, body = ipv6_frame_body()
        destination = MACS[PICKMAC()]
    else:
        ether_type, body = ipv4_frame_body()
        destination = MACS[PICKMAC()]
    if RNG.random() < 0.08:
        tags = 2 if RNG.random() < 0.1 else 1
        for _ in range(tags):
            tci = (RNG.randrange(8) << 13) | RNG.randrange(1, 4095)
            body = struct.pack(">HH", tci, ether_type) + body
            ether_type = 0x8100
    data = destination + MACS[PICKMAC()] + struct.pack(">H", ether_type) + body
    if len(data) < 60:
        data += b"\0" * (60 - len(data))
    return data


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    count = int(sys.argv[2]) if len(sys.argv) == 3 else 500000
    seconds, micros = 1_700_000_000, 0
    with open(sys.argv[1], "wb") as out:
        out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))
        chunk = []
        for _ in range(count):
            data = frame()
            micros += RNG.randrange(1, 400)
            if micros >= 1_000_000:
                seconds, micros = seconds + 1, micros - 1_000_000
            chunk.append(struct.pack("<IIII", seconds, micros, len(data), len(data)))
            chunk.append(data)
            if len(chunk) >= 20000:
                out.write(b"".join(chunk))
                chunk = []
        out.write(b"".join(chunk))


if __name__ == "__main__":
    main()
