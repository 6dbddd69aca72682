#!/usr/bin/env python3
"""Malformed PDUs and NDR sent to the real hubsvc, one case per line of the
checklist of malformed input: each is refused with a bind_nak, a fault or a
closed connection, and the service goes on serving other clients.

    test_malformed_requests.py BIN_DIR
"""

import struct
import sys

import harness
import wire
from harness import expect
from wire import Conn

CTX_UNKNOWN = b"\0" * 4 + bytes(range(1, 17))


def bound(world):
    c = Conn(world.socket_path)
    c.bind()
    return c


def registered(world):
    """A bound connection with a registered client; returns (conn, handle)."""
    c = bound(world)
    r = c.call(2, 0, wire.connect_stub())
    expect(r and r[0] == wire.RESPONSE, "connect_client failed: %r" % (r,))
    return c, r[3][8:28]


def expect_nak(c, reason, what):
    r = c.read_pdu()
    expect(r is not None and r[0] == wire.BIND_NAK, "%s: wanted bind_nak, got %r" % (what, r))
    expect(wire.nak_reason(r) == reason, "%s: nak reason %d" % (what, wire.nak_reason(r)))
    expect(c.closed(), what + ": connection left open after bind_nak")


def expect_fault(c, status, what, close, call_id=None):
    r = c.read_pdu()
    expect(r is not None and r[0] == wire.FAULT, "%s: wanted a fault, got %r" % (what, r))
    expect(wire.fault_status(r) == status,
           "%s: status 0x%x, wanted 0x%x" % (what, wire.fault_status(r), status))
    expect(r[1] == 0x23, "%s: fault flags 0x%x" % (what, r[1]))
    if call_id is not None:
        expect(r[2] == call_id, "%s: fault call_id %d" % (what, r[2]))
    if close:
        expect(c.closed(), what + ": connection left open")


def expect_close(c, what):
    expect(c.read_pdu() is None, what + ": wanted the connection closed")


def still_serving(world, what):
    c, _ = registered(world)
    c.close()


# Cases that open their own connection and check what comes back.

def stream_ends(world):
    for n, what in ((10, "inside the header"), (40, "inside the bind body")):
        c = Conn(world.socket_path)
        c.send(wire.bind()[:n])
        c.s.shutdown(1)  # SHUT_WR
        expect_close(c, "stream ends " + what)
    c, _ = registered(world)
    c.send(wire.request(3, 1, b"\0" * 40)[:30])
    c.s.shutdown(1)
    expect_close(c, "stream ends inside a request")


def short_frag_length(world):
    c = Conn(world.socket_path)
    c.send(wire.bind(frag_length=12))
    expect_close(c, "frag_length 12 on a bind")
    c = bound(world)
    c.send(wire.request(2, 0, b"", frag_length=8))
    expect_close(c, "frag_length 8 on a request")


def below_fixed_size(world):
    c = Conn(world.socket_path)
    c.send(wire.header(wire.BIND, 3, 24, 1) + b"\0" * 8)
    expect_nak(c, 4, "bind of 24 bytes")
    c = bound(world)
    c.send(wire.header(wire.REQUEST, 3, 20, 2) + b"\0" * 4)
    expect_fault(c, wire.NCA_PROTO_ERROR, "request of 20 bytes", close=True)


def above_receive_limit(world):
    c = Conn(world.socket_path)
    c.send(wire.header(wire.BIND, 3, 6000, 1))  # the rest need not be read
    expect_nak(c, 0, "bind above 5840")
    c = bound(world)
    c.send(wire.header(wire.REQUEST, 3, 5848, 2))
    expect_fault(c, wire.NCA_PROTO_ERROR, "request fragment above N", close=True)
    c = Conn(world.socket_path)
    c.send(wire.bind(max_xmit=1432, max_recv=1432))
    r = c.read_pdu()
    expect(struct.unpack_from("<HH", r[3], 0) == (1432, 1432), "N not negotiated to 1432")
    c.send(wire.request(2, 0, b"\0" * 1500))
    expect_fault(c, wire.NCA_PROTO_ERROR, "request above a negotiated 1432", close=True)


def bad_headers(world):
    for kw, reason, what in (({"vers": 4}, 4, "rpc_vers 4"), ({"minor": 2}, 4, "minor 2"),
                             ({"drep": b"\0\0\0\0"}, 4, "big-endian drep"),
                             ({"auth": 8}, 8, "auth_length 8")):
        c = Conn(world.socket_path)
        c.send(wire.bind(**kw))
        expect_nak(c, reason, "bind with " + what)
    c = Conn(world.socket_path)
    c.send(wire.bind(minor=1))
    expect(c.read_pdu()[0] == wire.BIND_ACK, "minor version 1 is accepted")
    c = Conn(world.socket_path)
    c.send(wire.bind(flags=0x01))
    expect_nak(c, 4, "bind without LAST_FRAG")
    for kw, what in (({"vers": 4}, "rpc_vers 4"), ({"drep": b"\x00\0\0\0"}, "drep"),
                     ({"auth": 16}, "auth_length")):
        c, _ = registered(world)
        c.send(wire.request(3, 0, wire.connect_stub(), **kw))
        expect_fault(c, wire.NCA_PROTO_ERROR, "request with " + what, close=True)


def unexpected_types(world):
    c = Conn(world.socket_path)
    c.send(wire.request(9, 0, wire.connect_stub()))
    r = c.read_pdu()
    expect(r and r[0] == wire.BIND_NAK and wire.nak_reason(r) == 4 and r[2] == 9,
           "request before bind: %r" % (r,))
    c = bound(world)
    c.send(wire.bind(call_id=2))
    expect_nak(c, 0, "second bind")
    for ptype, what in ((wire.BIND_ACK, "bind_ack"), (wire.RESPONSE, "response"),
                        (wire.FAULT, "fault"), (14, "alter_context"), (16, "auth3"), (99, "99")):
        c = bound(world)
        c.send(wire.pdu(ptype, b"\0" * 16, 2))
        expect_fault(c, wire.NCA_PROTO_ERROR, what + " from a client", close=True)
    c, _ = registered(world)
    c.send(wire.pdu(18, b"", 3))  # co_cancel: ignored
    r = c.call(4, 0, wire.connect_stub())
    expect(r and r[0] == wire.RESPONSE, "co_cancel broke the connection")


def bad_binds(world):
    cases = (
        (wire.bind(contexts=[]), 4, "no context elements"),
        (wire.bind(contexts=[(0, wire.IFACE, [])]), 0, "no transfer syntax"),
        (wire.bind(n_ctx=2), 0, "context elements past frag_length"),
        (wire.bind(group=0x12345678), 0, "unknown group"),
    )
    for data, reason, what in cases:
        c = Conn(world.socket_path)
        c.send(data)
        expect_nak(c, reason, what)
    c = Conn(world.socket_path)
    other = bytes(16) + struct.pack("<I", 1)
    probe = bytes.fromhex("2c1cb76c12984045") + bytes(8) + struct.pack("<I", 1)
    c.send(wire.bind(contexts=[(0, other, [wire.NDR]), (1, wire.IFACE, [other]),
                               (2, wire.IFACE, [probe]), (3, wire.IFACE, [other, wire.NDR])]))
    r = c.read_pdu()
    expect(r and r[0] == wire.BIND_ACK, "mixed contexts: %r" % (r,))
    results = [struct.unpack_from("<HH", r[3], 24 + 24 * i) for i in range(4)]
    expect(results == [(2, 1), (2, 2), (2, 2), (0, 0)], "context results %r" % results)
    c.send(wire.request(2, 0, wire.connect_stub(), cont_id=0))
    expect_fault(c, wire.NCA_UNK_IF, "request on a rejected context", close=False)
    r = c.call(3, 0, wire.connect_stub(), cont_id=3)
    expect(r and r[0] == wire.RESPONSE, "the accepted context works")


def fragment_sequence(world):
    stub = wire.connect_stub()
    cases = (
        ([wire.request(3, 0, stub, flags=0x02)], "first fragment without FIRST_FRAG"),
        ([wire.request(3, 0, stub[:8], flags=0x01), wire.request(3, 0, stub[8:], flags=0x01)],
         "a new FIRST while reassembling"),
        ([wire.request(3, 0, stub[:8], flags=0x01), wire.request(4, 0, stub[8:], flags=0x02)],
         "call_id changes"),
        ([wire.request(3, 0, stub[:8], flags=0x01), wire.request(3, 1, stub[8:], flags=0x02)],
         "opnum changes"),
        ([wire.request(3, 0, stub[:8], flags=0x01),
          wire.request(3, 0, stub[8:], flags=0x02, cont_id=1)], "p_cont_id changes"),
    )
    for pdus, what in cases:
        c, _ = registered(world)
        c.send(b"".join(pdus))
        expect_fault(c, wire.NCA_PROTO_ERROR, what, close=True)
    c, _ = registered(world)
    c.send(wire.request(3, 0, stub[:8], flags=0x01) + wire.request(3, 0, stub[8:], flags=0x02))
    r = c.read_pdu()
    expect(r and r[0] == wire.RESPONSE, "a request in two fragments works")


def too_large(world):
    c, _ = registered(world)
    c.send(wire.request(3, 0, b"\0" * 8, alloc_hint=(4 << 20) + 1, flags=0x01))
    expect_fault(c, wire.ACCESS_DENIED, "alloc_hint above 4 MiB", close=True)
    c, _ = registered(world)
    chunk = b"\0" * 5816
    try:
        for i in range(((4 << 20) // len(chunk)) + 2):
            c.send(wire.request(3, 0, chunk, alloc_hint=0, flags=0x01 if i == 0 else 0))
    except (BrokenPipeError, ConnectionResetError):
        pass
    while True:
        r = c.read_pdu()
        expect(r is not None, "no fault for a stub above 4 MiB")
        if r[0] == wire.FAULT:
            expect(wire.fault_status(r) == wire.ACCESS_DENIED, "stub above 4 MiB: status")
            break
    expect(c.closed(), "connection left open after 4 MiB")


def call_faults(world):
    """Faults that leave the connection open; each is followed by a good call."""
    c, ctx = registered(world)
    good = wire.connect_stub()

    def with_identity(s):
        return s + b"\0" * (-len(s) % 4) + b"\0" * 4 + struct.pack("<i", 1)

    cases = (
        (dict(opnum=0, stub=good, cont_id=5), wire.NCA_UNK_IF, "p_cont_id not accepted"),
        (dict(opnum=6, stub=good), wire.NCA_OP_RNG_ERROR, "opnum 6"),
        (dict(opnum=0xFFFF, stub=good), wire.NCA_OP_RNG_ERROR, "opnum 65535"),
        (dict(opnum=0, stub=good[:-1]), wire.BAD_STUB_DATA, "stub cut short"),
        (dict(opnum=0, stub=good[:10]), wire.BAD_STUB_DATA, "string header cut"),
        (dict(opnum=0, stub=b""), wire.BAD_STUB_DATA, "empty stub"),
        (dict(opnum=0, stub=good + b"\0\0\0\0"), wire.BAD_STUB_DATA, "bytes left over"),
        (dict(opnum=0, stub=with_identity(wire.ndr_string("ab", offset=1))),
         wire.BAD_STUB_DATA, "string offset 1"),
        (dict(opnum=0, stub=with_identity(wire.ndr_string("ab", max_count=2))),
         wire.BAD_STUB_DATA, "actual_count above max_count"),
        (dict(opnum=0, stub=with_identity(wire.ndr_string("", actual=0, units=b""))),
         wire.BAD_STUB_DATA, "actual_count 0"),
        (dict(opnum=0, stub=with_identity(wire.ndr_string("ab", max_count=0x00200001))),
         wire.BAD_STUB_DATA, "huge max_count"),
        (dict(opnum=0, stub=wire.ndr_string("ab", max_count=0x100000, actual=0x100000)),
         wire.BAD_STUB_DATA, "string data past the end"),
        (dict(opnum=0, stub=wire.ndr_string("a", units=b"a\0\0")), wire.BAD_STUB_DATA,
         "odd byte of string data"),
        (dict(opnum=0, stub=with_identity(wire.ndr_string("", units=b"a\0b\0"))),
         wire.BAD_STUB_DATA, "missing terminator"),
        (dict(opnum=0, stub=with_identity(wire.ndr_string("", units=b"a\0\0\0b\0\0\0"))),
         wire.BAD_STUB_DATA, "embedded NUL"),
        (dict(opnum=0, stub=with_identity(wire.ndr_string("", units=b"\x00\xd8\0\0"))),
         wire.BAD_STUB_DATA, "unpaired surrogate"),
        (dict(opnum=0, stub=struct.pack("<I", 0x20000) + good), wire.BAD_STUB_DATA,
         "stray referent id before a [ref] string"),
        (dict(opnum=1, stub=wire.send_stub(b"\0" * 20, "x", "y")), wire.NCA_CONTEXT_MISMATCH,
         "null context handle"),
        (dict(opnum=1, stub=wire.send_stub(CTX_UNKNOWN, "x", "y")), wire.NCA_CONTEXT_MISMATCH,
         "unknown context handle"),
        (dict(opnum=4, stub=CTX_UNKNOWN), wire.NCA_CONTEXT_MISMATCH, "receive, unknown handle"),
        (dict(opnum=5, stub=b"\0" * 20), wire.NCA_CONTEXT_MISMATCH, "disconnect, null handle"),
        (dict(opnum=3, stub=CTX_UNKNOWN + wire.ndr_string("n")), wire.NCA_CONTEXT_MISMATCH,
         "op3, unknown handle"),
        (dict(opnum=2, stub=wire.send_stub(CTX_UNKNOWN, "x", "y")), wire.NCA_CONTEXT_MISMATCH,
         "op2, unknown handle"),
    )
    call_id = 3
    for kw, status, what in cases:
        c.send(wire.request(call_id, **kw))
        expect_fault(c, status, what, close=False, call_id=call_id)
        call_id += 1
        r = c.call(call_id, 0, good)
        expect(r and r[0] == wire.RESPONSE, what + ": the next call failed")
        call_id += 1
    # A handle is unknown on a connection of another group.
    other, _ = registered(world)
    other.send(wire.request(3, 1, wire.send_stub(ctx, "x", "y")))
    expect_fault(other, wire.NCA_CONTEXT_MISMATCH, "handle of another group", close=False)
    # A closed handle is unknown too.
    r = c.call(call_id, 5, ctx)
    expect(r and r[0] == wire.RESPONSE and r[3][8:28] == b"\0" * 20, "disconnect: %r" % (r,))
    c.send(wire.request(call_id + 1, 1, wire.send_stub(ctx, "x", "y")))
    expect_fault(c, wire.NCA_CONTEXT_MISMATCH, "closed handle", close=False)


def request_flags(world):
    c, _ = registered(world)
    r = c.call(3, 0, wire.connect_stub(), flags=0x83, obj=b"\x55" * 16)
    expect(r and r[0] == wire.RESPONSE, "object UUID is skipped: %r" % (r,))
    c.send(wire.request(4, 0, wire.connect_stub(), flags=0x43))
    expect_fault(c, wire.NCA_PROTO_ERROR, "PFC_MAYBE", close=True)


def second_call_while_receiving(world):
    a, ctx = registered(world)
    # A second connection of the same group, as a client's receiver uses.
    c = Conn(world.socket_path)
    c.bind(group=a.group)
    c.send(wire.request(2, 4, ctx))  # blocks: no message for the client yet
    c.send(wire.request(3, 0, wire.connect_stub()))
    expect_fault(c, wire.NCA_PROTO_ERROR, "a new call while one is out", close=True, call_id=3)
    # The handle lives on while a is open.
    r = a.call(3, 1, wire.send_stub(ctx, "nobody", "Ping"))
    expect(r and r[0] == wire.RESPONSE, "handle lost with the other connection: %r" % (r,))


def body(world):
    hub = world.start_hubsvc()

    cases = [stream_ends, short_frag_length, below_fixed_size, above_receive_limit,
             bad_headers, unexpected_types, bad_binds, fragment_sequence, too_large,
             call_faults, request_flags, second_call_while_receiving]
    for case in cases:
        case(world)
        still_serving(world, case.__name__)
    # And a whole msgpost run still works.
    world.start_responder("--name", "resp", "--response", "Pong")
    code, _, err, _ = world.msgpost("/q", "/t", "5000", "/r", "Pong", "resp", "Ping")
    expect(code == 1, "msgpost after the malformed input: %d %s" % (code, err))
    expect(world.stop(hub) == 0, "hubsvc did not stop cleanly")


if __name__ == "__main__":
    sys.exit(harness.run_in_world(body, sys.argv[1]))
