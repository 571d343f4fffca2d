"""Reference answers from Python's standard library for the mail tests.

Reads a JSON request on stdin and writes a JSON answer on stdout.
  {"op": "codec", "inputs": [hex, ...], "qp": [hex, ...]}
      -> {"base64": [...], "qp_decoded": [hex, ...], "b64_decoded": [hex|null, ...] for "b64"}
  {"op": "parse", "messages": [hex, ...]}
      -> one description per message: defects, headers (name, str value) and leaf parts
"""
import base64
import binascii
import email
import email.policy
import json
import quopri
import sys


def codec(req):
    out = {"base64": [], "qp_decoded": [], "b64_decoded": []}
    for h in req.get("inputs", []):
        out["base64"].append(base64.b64encode(bytes.fromhex(h)).decode("ascii"))
    for h in req.get("qp", []):
        out["qp_decoded"].append(quopri.decodestring(bytes.fromhex(h)).hex())
    for text in req.get("b64", []):
        try:
            out["b64_decoded"].append(base64.b64decode(text, validate=False).hex())
        except binascii.Error:
            out["b64_decoded"].append(None)
    return out


def describe(msg):
    parts = []
    for part in msg.walk():
        if part.is_multipart():
            continue
        entry = {
            "content_type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "cte": part.get("Content-Transfer-Encoding", ""),
            "filename": part.get_filename(),
            "disposition": part.get_content_disposition(),
            "payload": part.get_payload(decode=True).hex(),
            "defects": [type(d).__name__ for d in part.defects],
        }
        if part.get_content_maintype() == "text":
            entry["text"] = part.get_content()
        parts.append(entry)
    return {
        "defects": [type(d).__name__ for d in msg.defects],
        "is_multipart": msg.is_multipart(),
        "content_type": msg.get_content_type(),
        "headers": [[k, str(v)] for k, v in msg.items()],
        "addresses": {k: [[a.display_name, a.addr_spec] for a in msg[k].addresses]
                      for k in ("From", "To") if msg[k] is not None},
        "parts": parts,
    }


def parse(req):
    return [describe(email.message_from_bytes(bytes.fromhex(h), policy=email.policy.default))
            for h in req["messages"]]


def main():
    req = json.load(sys.stdin)
    result = {"codec": codec, "parse": parse}[req["op"]](req)
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main()
