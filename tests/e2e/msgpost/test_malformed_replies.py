#!/usr/bin/env python3
"""msgpost against a fake dispatcher service that answers with malformed
replies: each is refused (the call fails, msgpost shows error -8) quickly,
without a hang. A reply with null texts in a received message is valid.

    test_malformed_replies.py BIN_DIR
"""

import os
import socket
import struct
import sys
import threading
import time

import harness
import wire
from harness import expect

CTX = b"\0" * 4 + bytes(range(1, 17))
SERIAL = 42


def good_reply(opnum):
    if opnum == 0:
        return CTX + struct.pack("<i", 1)
    if opnum == 1:
        return struct.pack("<ii", SERIAL, 1)  # one recipient
    if opnum == 5:
        return b"\0" * 24
    return struct.pack("<i", 0)


class FakeService:
    """Serves the socket in a runtime folder; `answer(conn_no, call_no, opnum,
    call_id)` returns the bytes to send for each request, a tuple (bytes,) to
    send them and close, or None to close at once."""

    def __init__(self, path, answer, bind_answer=None):
        self.answer = answer
        self.bind_answer = bind_answer
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.bind(path)
        self.sock.listen(8)
        self.conns = 0
        self.stopping = False
        self.threads = [threading.Thread(target=self.accept_loop, daemon=True)]
        self.threads[0].start()

    def accept_loop(self):
        while not self.stopping:
            try:
                s, _ = self.sock.accept()
            except OSError:
                return
            self.conns += 1
            t = threading.Thread(target=self.serve, args=(s, self.conns), daemon=True)
            t.start()

    def serve(self, s, conn_no):
        c = wire.Conn.__new__(wire.Conn)
        c.s = s
        s.settimeout(10)
        try:
            r = c.read_pdu()
            if r is None:
                return  # a probe of the service state
            reply = self.bind_answer(r[2]) if self.bind_answer else wire.bind_ack(call_id=r[2])
            if reply is None:
                return
            s.sendall(reply)
            call_no = 0
            while True:
                r = c.read_pdu()
                if r is None:
                    return
                opnum = struct.unpack_from("<H", r[3], 6)[0]
                call_no += 1
                data = self.answer(conn_no, call_no, opnum, r[2])
                if data is None:
                    return
                close_after = isinstance(data, tuple)
                s.sendall(data[0] if close_after else data)
                if close_after:
                    return
        except OSError:
            pass
        finally:
            s.close()

    def close(self):
        self.stopping = True
        self.sock.close()


def run_against(world, bind_answer=None, answer=None, args=("/q", "x", "Ping")):
    def default(conn_no, call_no, opnum, call_id):
        return wire.response(call_id, good_reply(opnum))

    fake = FakeService(world.socket_path, answer or default, bind_answer)
    try:
        return world.msgpost(*args, timeout=60)
    finally:
        fake.close()
        os.unlink(world.socket_path)


def on_op(target, data_for):
    """An answer that is good except for opnum `target`."""
    def answer(conn_no, call_no, opnum, call_id):
        if opnum == target:
            return data_for(call_id)
        return wire.response(call_id, good_reply(opnum))
    return answer


REFUSED = harness.box("Error", "Error code -8 (0xFFFFFFF8)")


def body(world):
    big = wire.response(2, b"\0" * 6000)
    bind_cases = (
        ("closed at once", lambda cid: None),
        ("frag_length below 16", lambda cid: wire.header(wire.BIND_ACK, 3, 12, cid)),
        ("bind_nak", lambda cid: wire.pdu(wire.BIND_NAK, b"\x04\x00\x01\x05\x00\0\0\0", cid)),
        ("bind_ack for another call", lambda cid: wire.bind_ack(call_id=cid + 1)),
        ("group 0", lambda cid: wire.bind_ack(call_id=cid, group=0)),
        ("limits below 1432", lambda cid: wire.bind_ack(call_id=cid, max_recv=1024)),
        ("two results", lambda cid: wire.bind_ack(
            call_id=cid, results=[(0, 0, wire.NDR), (0, 0, wire.NDR)])),
        ("results past the end", lambda cid: wire.bind_ack(call_id=cid, n_results=3)),
        ("secondary address past the end", lambda cid: wire.bind_ack(
            call_id=cid)[:24] + b"\xff\x00" + wire.bind_ack(call_id=cid)[26:]),
        ("interface rejected", lambda cid: wire.bind_ack(
            call_id=cid, results=[(2, 1, b"\0" * 20)])),
        ("version 4", lambda cid: b"\x04" + wire.bind_ack(call_id=cid)[1:]),
        ("a response", lambda cid: wire.response(cid, b"\0" * 4)),
    )
    for what, bind_answer in bind_cases:
        code, _, err, spent = run_against(world, bind_answer=bind_answer)
        expect(code == harness.exit_status(-8), "bind, %s: exit %d" % (what, code))
        expect(err == REFUSED, "bind, %s: stderr %r" % (what, err))
        expect(spent < 5, "bind, %s: took %.1f s" % (what, spent))

    reply_cases = (
        ("connect reply cut short", 0, lambda cid: wire.response(cid, CTX)),
        ("connect reply with bytes left over",
         0, lambda cid: wire.response(cid, CTX + b"\0" * 8)),
        ("connect reply for another call", 0, lambda cid: wire.response(cid + 1, CTX + b"\0" * 4)),
        ("connect fault bad stub", 0, lambda cid: wire.fault(cid, wire.BAD_STUB_DATA)),
        ("connect fault with extra bytes",
         0, lambda cid: wire.pdu(wire.FAULT, struct.pack("<IHBxII", 0, 0, 0, 5, 0) + b"xx", cid,
                                 flags=0x23)),
        ("connect reply above the fragment limit", 0, lambda cid: big[:12] +
         struct.pack("<I", cid) + big[16:]),
        ("connection closed mid-reply",
         0, lambda cid: (wire.response(cid, CTX + b"\0" * 4)[:30],)),
        ("a bind_ack instead", 0, lambda cid: wire.bind_ack(call_id=cid)),
        ("first fragment without FIRST",
         0, lambda cid: wire.response(cid, CTX + b"\0" * 4, flags=0x02)),
        ("send reply cut short", 1, lambda cid: wire.response(cid, b"\0\0\0")),
        ("send reply with a bad string header", 1, lambda cid: wire.response(cid, b"\0" * 12)),
    )
    for what, op, data in reply_cases:
        code, _, err, spent = run_against(world, answer=on_op(op, data))
        expect(code == harness.exit_status(-8), "%s: exit %d\n%s" % (what, code, err))
        expect(err == REFUSED, "%s: stderr %r" % (what, err))
        expect(spent < 5, "%s: took %.1f s" % (what, spent))

    # A received message whose texts are null (apart from msgId) is valid;
    # malformed received messages end the receiving without a hang.
    def receive(message_stub):
        def answer(conn_no, call_no, opnum, call_id):
            if opnum != 4:
                return wire.response(call_id, good_reply(opnum))
            if call_no == 1:
                return wire.response(call_id, message_stub)
            time.sleep(0.2)
            return wire.response(call_id, b"\0" * 24 + struct.pack("<i", -1))
        return answer

    pong = wire.pad4(wire.ndr_string("Pong"))
    null_texts = (struct.pack("<IIiiIi", 0, 0x20004, 0, 0, 0, SERIAL) + pong +
                  struct.pack("<i", 0))
    code, _, err, spent = run_against(world, answer=receive(null_texts),
                                      args=("/q", "/t", "20000", "/r", "Pong", "x", "Ping"))
    expect(code == 1 and err == "", "null texts: exit %d %r" % (code, err))
    expect(spent < 5, "null texts: the response was not counted (%.1f s)" % spent)

    bad_message = struct.pack("<IIiiIi", 0, 0x20004, 0, 0, 0, SERIAL) + \
        wire.ndr_string("Pong", offset=1) + struct.pack("<i", 0)
    code, _, err, spent = run_against(world, answer=receive(bad_message),
                                      args=("/q", "/t", "-1", "/r", "Pong", "x", "Ping"))
    expect(code == 1 and err == "", "malformed message: exit %d %r" % (code, err))
    expect(spent < 5, "malformed message: took %.1f s" % spent)


if __name__ == "__main__":
    sys.exit(harness.run_in_world(body, sys.argv[1]))
