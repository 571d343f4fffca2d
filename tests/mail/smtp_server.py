"""A real SMTP server (aiosmtpd) on a free loopback port for the client tests.

Prints "READY <port>" once it listens; appends one JSON line per accepted message to --out
({"from", "to", "data" (base64 of the received bytes, dot-unstuffed)}); stops when stdin closes.
"""
import argparse
import base64
import json
import socket
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Handler:
    def __init__(self, args):
        self.args = args

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.args.refuse_rcpt:
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.args.refuse_data:
            return "554 5.6.0 Message refused"
        record = {"from": envelope.mail_from, "to": envelope.rcpt_tos,
                  "data": base64.b64encode(envelope.original_content).decode("ascii")}
        with open(self.args.out, "a") as f:
            f.write(json.dumps(record) + "\n")
        return "250 Message accepted"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--out", required=True)
    p.add_argument("--refuse-rcpt", action="append", default=[])
    p.add_argument("--refuse-data", action="store_true")
    p.add_argument("--auth", help="user:password; the server then requires AUTH before MAIL")
    args = p.parse_args()

    kwargs = {}
    if args.auth:
        user, password = args.auth.split(":", 1)

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = auth_data.login == user.encode() and auth_data.password == password.encode()
            return AuthResult(success=ok, handled=False)

        kwargs = dict(authenticator=authenticator, auth_required=True, auth_require_tls=False)

    for _ in range(20):
        port = free_port()
        controller = Controller(Handler(args), hostname="127.0.0.1", port=port, **kwargs)
        try:
            controller.start()
            break
        except Exception:
            continue
    else:
        sys.exit("no free port")
    print("READY", port, flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
