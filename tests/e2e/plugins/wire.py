"""PDUs and NDR of the dispatcher interface, for tests that speak the wire
themselves: a client that sends malformed requests, and a fake service that
sends malformed replies. Every builder can be told to get something wrong.
"""

import socket
import struct

IFACE = bytes.fromhex("608ef92b6618764fbab2bcbf69c94312") + struct.pack("<I", 1)
NDR = bytes.fromhex("045d888aeb1cc9119fe808002b104860") + struct.pack("<I", 2)

REQUEST, RESPONSE, FAULT, BIND, BIND_ACK, BIND_NAK = 0, 2, 3, 11, 12, 13

NCA_OP_RNG_ERROR = 0x1C010002
NCA_UNK_IF = 0x1C010003
NCA_PROTO_ERROR = 0x1C01000B
NCA_CONTEXT_MISMATCH = 0x1C00001A
BAD_STUB_DATA = 0x6F7
ACCESS_DENIED = 5


def header(ptype, flags, frag_length, call_id, vers=5, minor=0, drep=b"\x10\0\0\0", auth=0):
    return struct.pack("<BBBB4sHHI", vers, minor, ptype, flags, drep, frag_length, auth, call_id)


def pdu(ptype, body, call_id, flags=0x03, frag_length=None, **hdr):
    n = 16 + len(body) if frag_length is None else frag_length
    return header(ptype, flags, n, call_id, **hdr) + body


def bind(call_id=1, group=0, contexts=None, max_xmit=5840, max_recv=5840, n_ctx=None, **kw):
    if contexts is None:
        contexts = [(0, IFACE, [NDR])]
    body = struct.pack("<HHIB3x", max_xmit, max_recv, group,
                       len(contexts) if n_ctx is None else n_ctx)
    for cont_id, abstract, transfers in contexts:
        body += struct.pack("<HBx", cont_id, len(transfers)) + abstract + b"".join(transfers)
    return pdu(BIND, body, call_id, **kw)


def request(call_id, opnum, stub, cont_id=0, alloc_hint=None, flags=0x03, obj=None, **kw):
    hint = len(stub) if alloc_hint is None else alloc_hint
    body = struct.pack("<IHH", hint, cont_id, opnum) + (obj or b"") + stub
    return pdu(REQUEST, body, call_id, flags=flags, **kw)


def response(call_id, stub, flags=0x03, **kw):
    return pdu(RESPONSE, struct.pack("<IHBx", len(stub), 0, 0) + stub, call_id, flags=flags, **kw)


def fault(call_id, status, flags=0x23):
    return pdu(FAULT, struct.pack("<IHBxII", 0, 0, 0, status, 0), call_id, flags=flags)


def bind_ack(call_id=1, group=0xA1B2, results=None, max_xmit=5840, max_recv=5840,
             sec=b"dspIfEp\0", n_results=None):
    if results is None:
        results = [(0, 0, NDR)]
    body = struct.pack("<HHIH", max_xmit, max_recv, group, len(sec)) + sec
    while (16 + len(body)) % 4:
        body += b"\0"
    body += struct.pack("<B3x", len(results) if n_results is None else n_results)
    for result, reason, syntax in results:
        body += struct.pack("<HH", result, reason) + syntax
    return pdu(BIND_ACK, body, call_id)


def pad4(b):
    return b + b"\0" * (-len(b) % 4)


def ndr_string(s, max_count=None, offset=0, actual=None, units=None):
    """A conformant varying string; by default well formed, NUL included."""
    data = (s.encode("utf-16-le") + b"\0\0") if units is None else units
    n = len(data) // 2
    return struct.pack("<III", n if max_count is None else max_count, offset,
                       n if actual is None else actual) + data


def connect_stub(identity="t@h:u.1", name="tester", pid=1):
    stub = pad4(ndr_string(identity))
    stub += struct.pack("<I", 0x20000) + pad4(ndr_string(name)) if name is not None else b"\0" * 4
    return stub + struct.pack("<i", pid)


def send_stub(ctx, to, msg, i1=0, i2=0, sparam=None, serial=0):
    stub = ctx + pad4(ndr_string(to)) + pad4(ndr_string(msg)) + struct.pack("<ii", i1, i2)
    if sparam is None:
        stub += b"\0" * 4
    else:
        stub += struct.pack("<I", 0x20000) + pad4(ndr_string(sparam))
    return stub + struct.pack("<i", serial)


class Conn:
    """One raw connection to the service's socket."""

    def __init__(self, path, timeout=5):
        self.s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.s.settimeout(timeout)
        self.s.connect(path)

    def send(self, data):
        self.s.sendall(data)

    def read_pdu(self):
        """(ptype, flags, call_id, body) or None when the stream ends."""
        head = self._read(16)
        if head is None or len(head) < 16:
            return None
        ptype, flags, length, call_id = head[2], head[3], struct.unpack_from("<H", head, 8)[0], \
            struct.unpack_from("<I", head, 12)[0]
        body = self._read(length - 16)
        if body is None or len(body) < length - 16:
            return None
        return ptype, flags, call_id, body

    def _read(self, n):
        out = b""
        while len(out) < n:
            try:
                chunk = self.s.recv(n - len(out))
            except ConnectionResetError:  # closed with our bytes unread
                return out
            if not chunk:
                return out
            out += chunk
        return out

    def closed(self):
        """True when the peer has closed (no more bytes)."""
        try:
            return self.s.recv(1) == b""
        except ConnectionResetError:
            return True
        except socket.timeout:
            return False

    def bind(self, group=0):
        self.send(bind(group=group))
        r = self.read_pdu()
        assert r and r[0] == BIND_ACK, r
        self.group = struct.unpack_from("<I", r[3], 4)[0]
        return self.group

    def call(self, call_id, opnum, stub, **kw):
        self.send(request(call_id, opnum, stub, **kw))
        return self.read_pdu()

    def close(self):
        self.s.close()


def fault_status(reply):
    return struct.unpack_from("<I", reply[3], 8)[0]


def nak_reason(reply):
    return struct.unpack_from("<H", reply[3], 0)[0]
