#!/usr/bin/env python3
"""Build the sample trace examples/sample.pcap for veilcap.

What it makes
    A small classic pcap file (little-endian magic d4 c3 b2 a1, version 2.4,
    snapshot length 65535, link type 1 = Ethernet, microsecond timestamps)
    of a few hundred frames that touches every protocol veilcap parses:

    - Ethernet II; IEEE 802.1Q VLAN tags (EtherType 0x8100), single and
      stacked (two 0x8100 tags), with and without priority/DEI bits;
    - ARP requests and replies (padded to 60 bytes), including a
      gratuitous ARP whose target MAC is ff:ff:ff:ff:ff:ff;
    - IPv4 with and without options (record route, a 4-byte NOP/EOL
      option, router alert), IPv4 fragments (first and non-first),
      IGMP (carried as opaque payload by veilcap), IPv6 in IPv4 (proto 41);
    - TCP handshakes, data of varied sizes, FIN and RST, with the options
      MSS, SACK-permitted, timestamps and window scale, one ECN set-up and
      one segment with the URG flag;
    - UDP: DNS queries and answers, traceroute probes, a datagram with
      checksum 0 (no checksum);
    - ICMP echo request/reply with data, destination unreachable and time
      exceeded quoting an IPv4 + UDP header;
    - IPv6 with TCP and UDP, a hop-by-hop extension header (MLDv2 report),
      a fragment extension header, ICMPv6 echo and neighbour discovery
      (next header 58);
    - an IEEE 802.3 length frame (EtherType < 0x600, a spanning-tree BPDU).

    Hosts sit in two private /24 networks (192.168.1.0/24, 10.0.5.0/24) plus
    a few public-looking addresses, so that prefix relations exist; IPv6
    addresses are in 2001:db8::/32 and fe80::/10.  Every checksum (IPv4
    header, ICMP, IGMP, TCP, UDP and ICMPv6 with their pseudo-headers) is
    computed correctly.  Timestamps increase strictly.

    The output is deterministic: all randomness comes from one
    random.Random with a fixed seed, so two runs give identical bytes.

How to run it (python3, standard library only), from the repository root:

    python3 scripts/make-sample-trace.py              # writes examples/sample.pcap
    python3 scripts/make-sample-trace.py OUT.pcap     # writes OUT.pcap instead

Check it, for example, with
    tshark -r examples/sample.pcap -o ip.check_checksum:TRUE \\
        -o tcp.check_checksum:TRUE -o udp.check_checksum:TRUE \\
        -Y 'ip.checksum.status==0 || tcp.checksum.status==0 || \\
            udp.checksum.status==0 || icmp.checksum.status==0 || \\
            icmpv6.checksum.status==0 || _ws.malformed || \\
            _ws.expert.severity >= error'
which should print nothing.
"""

import os
import random
import struct
import sys

SEED = 20240601
RNG = random.Random(SEED)

# --------------------------------------------------------------------------
# helpers: addresses and checksums
# --------------------------------------------------------------------------


def mac(text):
    return bytes(int(part, 16) for part in text.split(":"))


def ip4(text):
    return bytes(int(part) for part in text.split("."))


def ip6(text):
    """Parse an IPv6 address (with at most one '::') into 16 bytes."""
    if "::" in text:
        head, tail = text.split("::")
        head_groups = head.split(":") if head else []
        tail_groups = tail.split(":") if tail else []
        groups = head_groups + ["0"] * (8 - len(head_groups) - len(tail_groups)) + tail_groups
    else:
        groups = text.split(":")
    assert len(groups) == 8, text
    return b"".join(struct.pack("!H", int(g, 16)) for g in groups)


def csum(data):
    """Internet checksum (RFC 1071) of data, as an integer."""
    if len(data) % 2:
        data += b"\x00"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (~total) & 0xFFFF


def pseudo4(src, dst, proto, length):
    return src + dst + struct.pack("!BBH", 0, proto, length)


def pseudo6(src, dst, proto, length):
    return src + dst + struct.pack("!IxxxB", length, proto)


def rbytes(n):
    return bytes(RNG.getrandbits(8) for _ in range(n))


# --------------------------------------------------------------------------
# protocol builders
# --------------------------------------------------------------------------

ETH_IP4, ETH_ARP, ETH_VLAN, ETH_IP6 = 0x0800, 0x0806, 0x8100, 0x86DD


def ether(dst, src, ethertype, body, vlans=()):
    """Ethernet II frame; vlans is a list of (pcp, dei, vid), outermost first."""
    head = dst + src
    types = [ETH_VLAN] * len(vlans) + [ethertype]
    head += struct.pack("!H", types[0])
    for i, (pcp, dei, vid) in enumerate(vlans):
        head += struct.pack("!HH", (pcp << 13) | (dei << 12) | vid, types[i + 1])
    frame = head + body
    if len(frame) < 60:
        frame += b"\x00" * (60 - len(frame))
    return frame


def arp(op, sha, spa, tha, tpa):
    return struct.pack("!HHBBH", 1, 0x0800, 6, 4, op) + sha + spa + tha + tpa


def ipv4(src, dst, proto, payload, ident, ttl=64, tos=0, df=True, mf=False,
         fragoff=0, options=b""):
    assert len(options) % 4 == 0 and len(options) <= 40
    ihl = 5 + len(options) // 4
    flags = (2 if df else 0) | (1 if mf else 0)
    total = ihl * 4 + len(payload)
    hdr = struct.pack("!BBHHHBBH4s4s", 0x40 | ihl, tos, total, ident,
                      (flags << 13) | fragoff, ttl, proto, 0, src, dst) + options
    c = csum(hdr)
    hdr = hdr[:10] + struct.pack("!H", c) + hdr[12:]
    return hdr + payload


def ipv6(src, dst, nh, payload, hlim=64, tclass=0, flow=0):
    first = (6 << 28) | (tclass << 20) | flow
    return struct.pack("!IHBB", first, len(payload), nh, hlim) + src + dst + payload


def udp_segment(sport, dport, data, src, dst, v6=False, zero_checksum=False,
                full_length=None, full_data=None):
    """UDP header + data.  full_* give the whole datagram when this is only
    the start of a fragmented one (the checksum covers the whole datagram)."""
    length = 8 + len(data) if full_length is None else full_length
    hdr = struct.pack("!HHHH", sport, dport, length, 0)
    if zero_checksum:
        return hdr + data
    whole = hdr + (data if full_data is None else full_data)
    ph = pseudo6(src, dst, 17, length) if v6 else pseudo4(src, dst, 17, length)
    c = csum(ph + whole) or 0xFFFF
    return struct.pack("!HHHH", sport, dport, length, c) + data


def tcp_segment(src, dst, sport, dport, seq, ack, flags, window, options=b"",
                data=b"", urg=0, v6=False):
    assert len(options) % 4 == 0
    off = (20 + len(options)) // 4
    hdr = struct.pack("!HHIIHHHH", sport, dport, seq & 0xFFFFFFFF, ack & 0xFFFFFFFF,
                      (off << 12) | flags, window, 0, urg) + options
    length = len(hdr) + len(data)
    ph = pseudo6(src, dst, 6, length) if v6 else pseudo4(src, dst, 6, length)
    c = csum(ph + hdr + data)
    return hdr[:16] + struct.pack("!H", c) + hdr[18:] + data


def icmp(typ, code, rest, data):
    msg = struct.pack("!BBH", typ, code, 0) + rest + data
    return msg[:2] + struct.pack("!H", csum(msg)) + msg[4:]


def icmp6(src, dst, typ, code, body):
    msg = struct.pack("!BBH", typ, code, 0) + body
    c = csum(pseudo6(src, dst, 58, len(msg)) + msg)
    return msg[:2] + struct.pack("!H", c) + msg[4:]


FIN, SYN, RST, PSH, ACK, URG, ECE, CWR = 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80

# --------------------------------------------------------------------------
# the network
# --------------------------------------------------------------------------


class Host:
    def __init__(self, name, mac_text, addr4=None, addr6=None, ll6=None, ttl=64):
        self.name = name
        self.mac = mac(mac_text)
        self.ip = ip4(addr4) if addr4 else None
        self.ip6 = ip6(addr6) if addr6 else None
        self.ll6 = ip6(ll6) if ll6 else None
        self.ttl = ttl
        self.ident = RNG.randrange(1, 0xFFFF)

    def next_ident(self):
        self.ident = (self.ident + 1) & 0xFFFF
        return self.ident


BCAST = mac("ff:ff:ff:ff:ff:ff")
ZERO_MAC = mac("00:00:00:00:00:00")

# LAN A: 192.168.1.0/24, IPv6 2001:db8:1::/64
GW_A = Host("gw-a", "00:1b:21:3a:4f:01", "192.168.1.1", "2001:db8:1::1", "fe80::21b:21ff:fe3a:4f01")
PC_A10 = Host("pc-a10", "3c:97:0e:12:34:0a", "192.168.1.10", "2001:db8:1::10", "fe80::3e97:eff:fe12:340a")
PC_A11 = Host("pc-a11", "3c:97:0e:12:34:0b", "192.168.1.11", "2001:db8:1::11", "fe80::3e97:eff:fe12:340b")
PR_A20 = Host("printer-a20", "02:00:5e:10:00:14", "192.168.1.20", "2001:db8:1::20", "fe80::5eff:fe10:14")
# LAN B: 10.0.5.0/24, reached through VLAN 100 (and a QinQ uplink)
GW_B = Host("gw-b", "00:1b:21:3a:4f:02", "10.0.5.1")
SRV_B7 = Host("srv-b7", "52:54:00:ab:cd:07", "10.0.5.7")
SRV_B8 = Host("srv-b8", "52:54:00:ab:cd:08", "10.0.5.8")
# public-looking hosts (documentation ranges), reached via the gateways
WEB1 = Host("web1", "00:00:00:00:00:00", "198.51.100.23", "2001:db8:2::80", ttl=53)
WEB2 = Host("web2", "00:00:00:00:00:00", "198.51.100.80", ttl=53)
DNS1 = Host("dns1", "00:00:00:00:00:00", "203.0.113.53", "2001:db8:2::53", ttl=57)
PING = Host("ping", "00:00:00:00:00:00", "203.0.113.9", "2001:db8:2::9", ttl=57)
TUN = Host("tunnel", "00:00:00:00:00:00", "192.0.2.66", ttl=60)

VLAN_B = [(0, 0, 100)]                 # single 802.1Q tag
QINQ_B = [(1, 0, 200), (5, 0, 300)]    # stacked tags, both EtherType 0x8100

# --------------------------------------------------------------------------
# trace assembly
# --------------------------------------------------------------------------


class Trace:
    def __init__(self):
        self.t_us = 1700000000 * 1000000 + 123456
        self.frames = []

    def add(self, frame, gap_us=None):
        if gap_us is None:
            gap_us = RNG.randrange(80, 4000)
        self.t_us += max(1, gap_us)
        self.frames.append((self.t_us, frame))

    def write(self, path):
        out = [struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)]
        for t_us, frame in self.frames:
            out.append(struct.pack("<IIII", t_us // 1000000, t_us % 1000000, len(frame), len(frame)))
            out.append(frame)
        data = b"".join(out)
        with open(path, "wb") as fh:
            fh.write(data)
        return len(data)


T = Trace()


def l2(src_host, dst_host, vlans=()):
    """(dst MAC, src MAC, vlans) for a frame between two hosts on a LAN."""
    return dst_host.mac, src_host.mac, vlans


def send4(src, dst, proto, payload, l2info, gap=None, **kw):
    dmac, smac, vlans = l2info
    kw.setdefault("ttl", src.ttl)
    pkt = ipv4(src.ip, dst.ip, proto, payload, src.next_ident(), **kw)
    T.add(ether(dmac, smac, ETH_IP4, pkt, vlans), gap)


def send6(src_addr, dst_addr, nh, payload, l2info, gap=None, **kw):
    dmac, smac, vlans = l2info
    T.add(ether(dmac, smac, ETH_IP6, ipv6(src_addr, dst_addr, nh, payload, **kw), vlans), gap)


# ---- ARP -----------------------------------------------------------------


def arp_exchange(asker, target, vlans=()):
    T.add(ether(BCAST, asker.mac, ETH_ARP, arp(1, asker.mac, asker.ip, ZERO_MAC, target.ip), vlans))
    T.add(ether(asker.mac, target.mac, ETH_ARP, arp(2, target.mac, target.ip, asker.mac, asker.ip), vlans),
          RNG.randrange(100, 600))


def gratuitous_arp(host):
    # announcement whose target hardware address is the broadcast address
    T.add(ether(BCAST, host.mac, ETH_ARP, arp(1, host.mac, host.ip, BCAST, host.ip)))


# ---- DNS -----------------------------------------------------------------


def dns_name(name):
    return b"".join(bytes([len(l)]) + l.encode() for l in name.split(".")) + b"\x00"


def dns_query(qid, name, qtype):
    return struct.pack("!HHHHHH", qid, 0x0100, 1, 0, 0, 0) + dns_name(name) + struct.pack("!HH", qtype, 1)


def dns_answer(qid, name, qtype, rdatas, ttl):
    msg = struct.pack("!HHHHHH", qid, 0x8180, 1, len(rdatas), 0, 0) + dns_name(name) + struct.pack("!HH", qtype, 1)
    for rdata in rdatas:
        msg += struct.pack("!HHHIH", 0xC00C, qtype, 1, ttl, len(rdata)) + rdata
    return msg


def dns_lookup(client, server, name, qtype, rdatas, l2_out, l2_back, v6=False):
    qid = RNG.randrange(0, 0x10000)
    sport = RNG.randrange(32768, 61000)
    q = dns_query(qid, name, qtype)
    a = dns_answer(qid, name, qtype, rdatas, RNG.randrange(60, 3600))
    if v6:
        send6(client.ip6, server.ip6, 17, udp_segment(sport, 53, q, client.ip6, server.ip6, v6=True), l2_out,
              flow=RNG.getrandbits(20))
        send6(server.ip6, client.ip6, 17, udp_segment(53, sport, a, server.ip6, client.ip6, v6=True), l2_back,
              gap=RNG.randrange(8000, 30000), hlim=57, flow=RNG.getrandbits(20))
    else:
        send4(client, server, 17, udp_segment(sport, 53, q, client.ip, server.ip), l2_out, df=False)
        send4(server, client, 17, udp_segment(53, sport, a, server.ip, client.ip), l2_back,
              df=False, gap=RNG.randrange(8000, 30000))


# ---- TCP -----------------------------------------------------------------


class TcpConn:
    """A TCP connection seen at the client's LAN.  style: 'linux' (MSS, SACK-permitted,
    timestamps, window scale; timestamps on every segment) or 'windows' (MSS, NOP,
    window scale, NOP, NOP, SACK-permitted; no timestamps)."""

    def __init__(self, client, server, sport, dport, l2_c2s, l2_s2c, v6=False, style="linux",
                 ecn=False, tos=0):
        self.c, self.s = client, server
        self.cport, self.sport = sport, dport
        self.l2 = {True: l2_c2s, False: l2_s2c}
        self.v6 = v6
        self.style = style
        self.ecn = ecn
        self.tos = tos
        self.seq = {True: RNG.getrandbits(32), False: RNG.getrandbits(32)}
        self.ts = {True: RNG.getrandbits(32), False: RNG.getrandbits(32)}
        self.last_ts = {True: 0, False: 0}
        self.flow = {True: RNG.getrandbits(20), False: RNG.getrandbits(20)}
        self.win = {True: 502, False: 509}

    def addr(self, from_client):
        h = self.c if from_client else self.s
        return h.ip6 if self.v6 else h.ip

    def _ts_opt(self, from_client):
        self.ts[from_client] = (self.ts[from_client] + RNG.randrange(1, 40)) & 0xFFFFFFFF
        return struct.pack("!II", self.ts[from_client], self.last_ts[not from_client])

    def seg(self, from_client, flags, data=b"", syn_opts=False, urg=0, gap=None):
        if self.style == "linux":
            tsv = self._ts_opt(from_client)
            self.last_ts[from_client] = struct.unpack("!I", tsv[:4])[0]
            if syn_opts:
                mss = 1440 if self.v6 else 1460
                opts = struct.pack("!BBH", 2, 4, mss) + b"\x04\x02" + b"\x08\x0a" + tsv + b"\x01\x03\x03\x07"
            else:
                opts = b"\x01\x01\x08\x0a" + tsv
        else:
            opts = struct.pack("!BBH", 2, 4, 1460) + b"\x01\x03\x03\x08\x01\x01\x04\x02" if syn_opts else b""
        ack = self.seq[not from_client] if flags & ACK else 0
        window = 64240 if syn_opts else self.win[from_client]
        src, dst = self.addr(from_client), self.addr(not from_client)
        sp, dp = (self.cport, self.sport) if from_client else (self.sport, self.cport)
        seg = tcp_segment(src, dst, sp, dp, self.seq[from_client], ack, flags, window, opts, data, urg, self.v6)
        self.seq[from_client] = (self.seq[from_client] + len(data) + (1 if flags & (SYN | FIN) else 0)) & 0xFFFFFFFF
        host = self.c if from_client else self.s
        tos = self.tos | (0x02 if self.ecn and data else 0)
        if gap is None:
            gap = RNG.randrange(200, 3000) if from_client else RNG.randrange(5000, 25000)
        if self.v6:
            send6(src, dst, 6, seg, self.l2[from_client], gap=gap, hlim=host.ttl, tclass=tos,
                  flow=self.flow[from_client])
        else:
            send4(host, self.c if not from_client else self.s, 6, seg, self.l2[from_client], tos=tos, gap=gap)

    def handshake(self):
        if self.ecn:
            self.seg(True, SYN | ECE | CWR, syn_opts=True)
            self.seg(False, SYN | ACK | ECE, syn_opts=True)
        else:
            self.seg(True, SYN, syn_opts=True)
            self.seg(False, SYN | ACK, syn_opts=True)
        self.seg(True, ACK)

    def send(self, from_client, data):
        # largest segment that fits a 1500-byte IP MTU with this connection's options
        mss = (1440 if self.v6 else 1460) - (12 if self.style == "linux" else 0)
        pos = 0
        while pos < len(data):
            chunk = data[pos:pos + mss]
            pos += len(chunk)
            self.seg(from_client, ACK | (PSH if pos >= len(data) else 0), chunk,
                     gap=RNG.randrange(30, 400) if pos > len(chunk) else None)
        self.seg(not from_client, ACK)

    def close(self, client_first=True):
        self.seg(client_first, FIN | ACK)
        self.seg(not client_first, FIN | ACK)
        self.seg(client_first, ACK)


def http_exchange(conn, host, path, body_len):
    req = ("GET %s HTTP/1.1\r\nHost: %s\r\nUser-Agent: curl/8.5.0\r\nAccept: */*\r\n\r\n"
           % (path, host)).encode()
    body = b"".join(b"<p>line %04d of the sample page, filler text for veilcap.</p>\n" % i
                    for i in range(body_len // 60 + 1))[:body_len]
    resp = ("HTTP/1.1 200 OK\r\nServer: nginx\r\nContent-Type: text/html\r\n"
            "Content-Length: %d\r\n\r\n" % len(body)).encode() + body
    conn.send(True, req)
    conn.send(False, resp)


def tls_records(total):
    """Opaque TLS application-data records totalling about `total` bytes."""
    out = b""
    while len(out) < total:
        n = min(total - len(out) - 5, RNG.randrange(40, 1200))
        if n < 16:
            n = 16
        out += struct.pack("!BHH", 0x17, 0x0303, n) + rbytes(n)
    return out


# ---- ICMP ----------------------------------------------------------------


def ping_data(seq):
    return struct.pack("!II", 1700000000 + seq, RNG.randrange(0, 1000000)) + bytes(range(0x10, 0x38))


def ping4(src, dst, l2_out, l2_back, count, ident, options_req=b"", options_rep=b""):
    for seq in range(1, count + 1):
        data = ping_data(seq)
        rest = struct.pack("!HH", ident, seq)
        send4(src, dst, 1, icmp(8, 0, rest, data), l2_out, options=options_req)
        send4(dst, src, 1, icmp(0, 0, rest, data), l2_back, options=options_rep, gap=RNG.randrange(9000, 20000))


def ping6(src_addr, dst_addr, l2_out, l2_back, count, ident, hlim_back=64):
    for seq in range(1, count + 1):
        data = ping_data(seq)
        body = struct.pack("!HH", ident, seq) + data
        send6(src_addr, dst_addr, 58, icmp6(src_addr, dst_addr, 128, 0, body), l2_out, hlim=64)
        send6(dst_addr, src_addr, 58, icmp6(dst_addr, src_addr, 129, 0, body), l2_back,
              gap=RNG.randrange(9000, 20000), hlim=hlim_back)


# --------------------------------------------------------------------------
# the scenario
# --------------------------------------------------------------------------


def build():
    up_a = lambda h: l2(h, GW_A)                     # LAN A host -> gateway
    down_a = lambda h: l2(GW_A, h)                   # gateway -> LAN A host
    on_b = lambda s, d: l2(s, d, VLAN_B)             # inside VLAN 100

    # 802.3 length frame: spanning-tree configuration BPDU (LLC 42 42 03)
    bpdu = (b"\x42\x42\x03" + struct.pack("!HBBB", 0, 0, 0, 0)
            + struct.pack("!H", 0x8000) + GW_A.mac + struct.pack("!I", 4)
            + struct.pack("!H", 0x8000) + GW_B.mac + struct.pack("!HHHHH", 0x8002, 256, 5120, 512, 3840))
    stp_dst = mac("01:80:c2:00:00:00")
    T.add(stp_dst + GW_A.mac + struct.pack("!H", len(bpdu)) + bpdu + b"\x00" * (60 - 14 - len(bpdu)))

    # ARP on LAN A, gratuitous ARP with broadcast target MAC
    arp_exchange(PC_A10, GW_A)
    gratuitous_arp(PR_A20)
    arp_exchange(PC_A11, GW_A)
    arp_exchange(PC_A10, PR_A20)

    # DNS over IPv4
    dns_lookup(PC_A10, DNS1, "www.example.com", 1, [WEB1.ip], up_a(PC_A10), down_a(PC_A10))
    dns_lookup(PC_A10, DNS1, "www.example.com", 28, [WEB1.ip6], up_a(PC_A10), down_a(PC_A10))

    # HTTP over IPv4 with Linux-style options
    c = TcpConn(PC_A10, WEB1, RNG.randrange(40000, 60000), 80, up_a(PC_A10), down_a(PC_A10))
    c.handshake()
    http_exchange(c, "www.example.com", "/", 5200)
    http_exchange(c, "www.example.com", "/favicon.ico", 318)
    c.close()

    # ICMP echo to a public host
    ping4(PC_A10, PING, up_a(PC_A10), down_a(PC_A10), 4, 0x1c2d)

    # ICMP echo with the record-route option (40 option bytes)
    rr_req = bytes([7, 39, 4]) + b"\x00" * 36 + b"\x00"
    rr_rep = bytes([7, 39, 16]) + PING.ip + ip4("198.18.7.1") + ip4("192.168.1.1") + b"\x00" * 24 + b"\x00"
    ping4(PC_A10, PING, up_a(PC_A10), down_a(PC_A10), 2, 0x1c2e, rr_req, rr_rep)

    # DNS, a second client, windows-style TCP to a TLS server
    dns_lookup(PC_A11, DNS1, "api.example.net", 1, [WEB2.ip], up_a(PC_A11), down_a(PC_A11))
    c = TcpConn(PC_A11, WEB2, RNG.randrange(49152, 65535), 443, up_a(PC_A11), down_a(PC_A11), style="windows")
    c.handshake()
    for _ in range(3):
        c.send(True, tls_records(RNG.randrange(120, 700)))
        c.send(False, tls_records(RNG.randrange(200, 4000)))
    c.close(client_first=False)

    # a refused connection: SYN answered by RST/ACK
    c = TcpConn(PC_A11, WEB2, RNG.randrange(49152, 65535), 8081, up_a(PC_A11), down_a(PC_A11), style="windows")
    c.seg(True, SYN, syn_opts=True)
    c.seg(False, RST | ACK)

    # traceroute probes (UDP, TTL 1 and 2) answered by time exceeded,
    # the last one by destination (port) unreachable
    sport = RNG.randrange(33000, 34000)
    for hop, (router_ip, ttl_probe) in enumerate([("192.168.1.1", 1), ("198.18.7.1", 2), (None, 3)]):
        dport = 33434 + hop
        probe_payload = b"@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_"
        ident = PC_A10.next_ident()
        probe = ipv4(PC_A10.ip, PING.ip, 17, udp_segment(sport, dport, probe_payload, PC_A10.ip, PING.ip),
                     ident, ttl=ttl_probe, df=False)
        T.add(ether(GW_A.mac, PC_A10.mac, ETH_IP4, probe))
        quoted = probe[:28]
        if router_ip:
            # the router quotes the header as it received it (TTL 1 there)
            q = bytearray(probe[:20])
            q[8] = 1
            q[10:12] = b"\x00\x00"
            q[10:12] = struct.pack("!H", csum(bytes(q)))
            quoted = bytes(q) + probe[20:28]
            src_ip = ip4(router_ip)
            err = ipv4(src_ip, PC_A10.ip, 1, icmp(11, 0, b"\x00" * 4, quoted), RNG.randrange(1, 0xFFFF),
                       ttl=255 - hop, tos=0xC0, df=False)
        else:
            err = ipv4(PING.ip, PC_A10.ip, 1, icmp(3, 3, b"\x00" * 4, quoted), PING.next_ident(),
                       ttl=PING.ttl, df=False)
        T.add(ether(PC_A10.mac, GW_A.mac, ETH_IP4, err), RNG.randrange(1000, 15000))

    # ---- LAN B on VLAN 100 ----
    arp_exchange(SRV_B7, SRV_B8, VLAN_B)
    # application traffic on an unregistered port, one segment with URG
    c = TcpConn(SRV_B7, SRV_B8, RNG.randrange(40000, 60000), 7400, on_b(SRV_B7, SRV_B8), on_b(SRV_B8, SRV_B7),
                tos=0x10)
    c.handshake()
    for size in (1, 33, 250, 1024, 3000):
        c.send(True, rbytes(size))
        c.send(False, rbytes(RNG.randrange(8, 90)))
    c.seg(True, URG | ACK | PSH, b"!", urg=1)
    c.seg(False, ACK)
    c.close()

    # UDP request that is refused: destination unreachable quoting IPv4 + UDP
    udp_req = ipv4(SRV_B7.ip, SRV_B8.ip, 17, udp_segment(45000, 9999, b"status?\n", SRV_B7.ip, SRV_B8.ip),
                   SRV_B7.next_ident(), ttl=64)
    T.add(ether(SRV_B8.mac, SRV_B7.mac, ETH_IP4, udp_req, VLAN_B))
    unreach = ipv4(SRV_B8.ip, SRV_B7.ip, 1, icmp(3, 3, b"\x00" * 4, udp_req[:28]), SRV_B8.next_ident(),
                   ttl=64, tos=0xC0, df=False)
    T.add(ether(SRV_B7.mac, SRV_B8.mac, ETH_IP4, unreach, VLAN_B), 150)

    # a fragmented UDP datagram (first fragment and non-first fragment)
    data = rbytes(2400)
    whole = udp_segment(5004, 5004, data, SRV_B7.ip, SRV_B8.ip)
    ident = SRV_B7.next_ident()
    first, rest = whole[:1480], whole[1480:]
    T.add(ether(SRV_B8.mac, SRV_B7.mac, ETH_IP4,
                ipv4(SRV_B7.ip, SRV_B8.ip, 17, first, ident, df=False, mf=True, fragoff=0), VLAN_B))
    T.add(ether(SRV_B8.mac, SRV_B7.mac, ETH_IP4,
                ipv4(SRV_B7.ip, SRV_B8.ip, 17, rest, ident, df=False, mf=False, fragoff=1480 // 8), VLAN_B), 40)

    # syslog without UDP checksum (checksum 0), with priority and DEI bits set in the tag
    for i in range(3):
        msg = ("<134>Nov 14 22:13:%02d srv-b8 app[311]: request %d served" % (20 + i, i)).encode()
        send4(SRV_B8, GW_B, 17, udp_segment(RNG.randrange(40000, 60000), 514, msg, SRV_B8.ip, GW_B.ip,
                                            zero_checksum=True),
              l2(SRV_B8, GW_B, [(3, 1 if i == 1 else 0, 100)]), df=False)

    # UDP with a 4-byte IPv4 option (NOP NOP NOP EOL)
    for i in range(2):
        send4(SRV_B7, SRV_B8, 17, udp_segment(6000, 6001, rbytes(20 + 13 * i), SRV_B7.ip, SRV_B8.ip),
              on_b(SRV_B7, SRV_B8), options=b"\x01\x01\x01\x00")

    # ---- QinQ uplink: stacked 802.1Q tags ----
    qinq = lambda s, d: l2(s, d, QINQ_B)
    ping4(SRV_B7, GW_B, qinq(SRV_B7, GW_B), qinq(GW_B, SRV_B7), 2, 0x0b07)
    send4(GW_B, SRV_B8, 17, udp_segment(123, 123, b"\x23" + rbytes(47), GW_B.ip, SRV_B8.ip),
          qinq(GW_B, SRV_B8), tos=0xB8, df=False)
    T.add(ether(BCAST, GW_B.mac, ETH_ARP, arp(1, GW_B.mac, GW_B.ip, ZERO_MAC, SRV_B8.ip), QINQ_B))

    # IGMPv2 membership report with the router-alert option (IP protocol 2)
    igmp = struct.pack("!BBH4s", 0x16, 0, 0, ip4("239.255.255.250"))
    igmp = igmp[:2] + struct.pack("!H", csum(igmp)) + igmp[4:]
    T.add(ether(mac("01:00:5e:7f:ff:fa"), PC_A11.mac, ETH_IP4,
                ipv4(PC_A11.ip, ip4("239.255.255.250"), 2, igmp, PC_A11.next_ident(), ttl=1, tos=0xC0,
                     df=False, options=b"\x94\x04\x00\x00")))

    # ---- IPv6 ----
    # neighbour discovery for the printer's address
    sn = ip6("ff02::1:ff00:20")
    ns_body = b"\x00" * 4 + PR_A20.ip6 + b"\x01\x01" + PC_A10.mac
    send6(PC_A10.ip6, sn, 58, icmp6(PC_A10.ip6, sn, 135, 0, ns_body), (mac("33:33:ff:00:00:20"), PC_A10.mac, ()),
          hlim=255)
    na_body = struct.pack("!I", 0x60000000) + PR_A20.ip6 + b"\x02\x01" + PR_A20.mac
    send6(PR_A20.ip6, PC_A10.ip6, 58, icmp6(PR_A20.ip6, PC_A10.ip6, 136, 0, na_body), l2(PR_A20, PC_A10),
          hlim=255)

    # link-local ICMPv6 echo
    ping6(PC_A10.ll6, PC_A11.ll6, l2(PC_A10, PC_A11), l2(PC_A11, PC_A10), 3, 0x3a01)

    # MLDv2 report behind a hop-by-hop header (router alert + PadN)
    mld_dst = ip6("ff02::16")
    for group in ("ff02::fb", "ff02::1:3"):
        rec = struct.pack("!BBH", 4, 0, 0) + ip6(group)
        mld = icmp6(PC_A11.ll6, mld_dst, 143, 0, struct.pack("!HH", 0, 1) + rec)
        hbh = bytes([58, 0, 5, 2, 0, 0, 1, 0])
        send6(PC_A11.ll6, mld_dst, 0, hbh + mld, (mac("33:33:00:00:00:16"), PC_A11.mac, ()), hlim=1)

    # DNS over IPv6, TCP over IPv6
    dns_lookup(PC_A10, DNS1, "www.example.com", 28, [WEB1.ip6], up_a(PC_A10), down_a(PC_A10), v6=True)
    c = TcpConn(PC_A10, WEB1, RNG.randrange(40000, 60000), 80, up_a(PC_A10), down_a(PC_A10), v6=True)
    c.handshake()
    http_exchange(c, "www.example.com", "/v6.html", 2900)
    c.close()

    # global ICMPv6 echo
    ping6(PC_A11.ip6, PING.ip6, up_a(PC_A11), down_a(PC_A11), 3, 0x3a02, hlim_back=57)

    # IPv6 UDP fragmented with a fragment extension header
    data = rbytes(1800)
    whole = udp_segment(5006, 5005, data, PC_A10.ip6, PR_A20.ip6, v6=True)
    frag_id = RNG.getrandbits(32)
    cut = 1224  # multiple of 8
    for off, piece, more in ((0, whole[:cut], 1), (cut, whole[cut:], 0)):
        fh = struct.pack("!BBHI", 17, 0, (off // 8) << 3 | more, frag_id)
        send6(PC_A10.ip6, PR_A20.ip6, 44, fh + piece, l2(PC_A10, PR_A20), gap=50 if off else None)

    # IPv6 in IPv4 (protocol 41): a tunnelled echo
    inner_src, inner_dst = ip6("2001:db8:3::2"), ip6("2001:db8:2::9")
    body = struct.pack("!HH", 0x3a03, 1) + ping_data(1)
    inner = ipv6(inner_src, inner_dst, 58, icmp6(inner_src, inner_dst, 128, 0, body))
    send4(PC_A11, TUN, 41, inner, up_a(PC_A11), df=True)
    inner = ipv6(inner_dst, inner_src, 58, icmp6(inner_dst, inner_src, 129, 0, body), hlim=60)
    send4(TUN, PC_A11, 41, inner, down_a(PC_A11), df=True, gap=30000)

    # ---- a longer busy phase: several clients, several servers ----
    for rnd in range(14):
        client = (PC_A10, PC_A11)[rnd % 2]
        name = ("www.example.com", "cdn.example.org", "api.example.net")[rnd % 3]
        server = (WEB1, WEB2)[rnd % 2]
        dns_lookup(client, DNS1, name, 1, [server.ip], up_a(client), down_a(client))
        if rnd % 3 == 2:
            c = TcpConn(client, server, RNG.randrange(49152, 65535), 443, up_a(client), down_a(client),
                        style="windows")
            c.handshake()
            c.send(True, tls_records(RNG.randrange(100, 600)))
            c.send(False, tls_records(RNG.randrange(500, 6000)))
            c.close()
        else:
            c = TcpConn(client, server, RNG.randrange(40000, 60000), 80, up_a(client), down_a(client),
                        ecn=(rnd == 1))
            c.handshake()
            http_exchange(c, name, "/page%d.html" % rnd, RNG.randrange(100, 4500))
            c.close()
        if rnd % 2:
            ping4(client, PING, up_a(client), down_a(client), 1, 0x2000 + rnd)
        if rnd == 3:
            arp_exchange(PC_A11, PC_A10)

    # quiet end: a last ARP refresh and a last BPDU
    arp_exchange(GW_A, PC_A10)
    T.add(stp_dst + GW_A.mac + struct.pack("!H", len(bpdu)) + bpdu + b"\x00" * (60 - 14 - len(bpdu)), 1500000)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, os.pardir, "examples", "sample.pcap")
    out = os.path.normpath(out)
    build()
    os.makedirs(os.path.dirname(out) or ".", exist_ok=True)
    size = T.write(out)
    print("wrote %s: %d frames, %d bytes" % (out, len(T.frames), size))


if __name__ == "__main__":
    main()
