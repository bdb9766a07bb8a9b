#!/usr/bin/python3
"""Loopback peers for the delivery tests: SMTP servers (aiosmtpd), lying SMTP peers, a name
server (dnslib), lying name servers and crash-collection servers (http.server). Everything
binds 127.0.0.x only.

TLS peers (STARTTLS and implicit TLS) use certificates made at start by the openssl command:
a test CA (DIR/ca.der, for the test to trust in its own Wine prefix only) and another CA that
nothing trusts, each signing a server certificate for "localhost"; the servers ask for a client
certificate and do without. Commands received inside TLS are logged with a leading "*".

  peers.py serve DIR    writes DIR/ports.env (export VL_SMTP_<MODE>=port ...) and serves until
                        killed; saves every message as DIR/<recipient local part>.eml and every
                        command as a line of DIR/commands.log ("<mode> <command> <argument>");
                        every upload to /api/<tag>/... as DIR/<tag>.http (its Content-Type line,
                        a blank line, the body)
  peers.py check DIR    checks each DIR/<tag>.expect against DIR/<tag>.eml with Python's email,
                        and each DIR/<tag>.upload-expect against DIR/<tag>.http (the form's
                        fields with Python's email, the minidump with winedump)
"""
import asyncio
import email
import email.header
import email.policy
import functools
import http.server
import os
import re
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time

MX_ANSWERS = {  # domain -> [(preference, exchange)]
    "two.test": [(10, "mx2.test")],
    "three.test": [(10, "mx3.test")],
    "pref.test": [(20, "mx9.test"), (10, "mx2.test"), (10, "mx3.test")],
    "literal.test": [(1, "127.0.0.2"), (5, "0x7f000002"), (9, "mx3.test")],
}


def make_certificates(out):
    """Two CAs, each with a server certificate for localhost; returns {name: SSLContext}."""
    def openssl(name, *args):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "7",
                        "-keyout", name + ".key", "-out", name + ".pem", *args],
                       cwd=out, check=True, capture_output=True)
    contexts = {}
    for ca in ["ca", "otherca"]:
        openssl(ca, "-subj", "/CN=VantorLog test " + ca, "-addext",
                "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign")
        openssl(ca + "-server", "-subj", "/CN=localhost", "-CA", ca + ".pem", "-CAkey", ca + ".key",
                "-addext", "basicConstraints=CA:FALSE", "-addext", "extendedKeyUsage=serverAuth",
                "-addext", "subjectAltName=DNS:localhost")
        contexts[ca] = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        server = os.path.join(out, ca + "-server")
        contexts[ca].load_cert_chain(server + ".pem", server + ".key")
        contexts[ca].verify_mode = ssl.CERT_OPTIONAL  # asks for a client certificate, as some do
        contexts[ca].load_verify_locations(os.path.join(out, ca + ".pem"))
    with open(os.path.join(out, "ca.der"), "wb") as f:
        f.write(ssl.PEM_cert_to_DER_cert(open(os.path.join(out, "ca.pem")).read()))
    return contexts


def serve(out):
    from aiosmtpd.smtp import SMTP, AuthResult
    from dnslib import DNSRecord, RR, MX, QTYPE, RCODE

    log_path = os.path.join(out, "commands.log")

    def log(mode, line):
        with open(log_path, "a") as f:
            f.write(f"{mode} {line}\n")

    class LoggingSMTP(SMTP):
        def __init__(self, mode, *a, **k):
            super().__init__(*a, **k)
            for command, method in list(self._smtp_methods.items()):
                self._smtp_methods[command] = self._logged(mode, command, method)

        @staticmethod
        def _logged(mode, command, method):
            @functools.wraps(method)
            async def wrapped(arg):
                transport = method.__self__.transport
                inside = transport is not None and transport.get_extra_info("sslcontext")
                log(mode, ("*" if inside else "") + command + ((" " + arg) if arg else ""))
                return await method(arg)
            return wrapped

    class Handler:
        def __init__(self, mode):
            self.mode = mode

        async def handle_RCPT(self, server, session, envelope, address, options):
            if self.mode == "rcpt550":
                return "550 5.1.1 No such user here"
            if self.mode == "delay":
                await asyncio.sleep(2)
            envelope.rcpt_tos.append(address)
            if self.mode == "rcpt251":
                return "251 User not local; will forward"
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            if self.mode == "data554":
                return "554 Transaction failed"
            if self.mode == "datadelay":
                await asyncio.sleep(1)
            for rcpt in envelope.rcpt_tos:
                tag = rcpt.split("@")[0] or "empty"
                with open(os.path.join(out, tag + ".eml"), "wb") as f:
                    f.write(envelope.original_content)
            return "250 Message accepted for delivery"

    def authenticator(server, session, envelope, mechanism, data):
        ok = data.login == b"reporter" and data.password == b"p" * 70
        return AuthResult(success=ok, handled=False)

    contexts = make_certificates(out)

    def smtp_factory(mode):
        def make():
            kwargs = dict(hostname="peer.test", data_size_limit=None, timeout=30)
            if mode in ["auth", "tls"]:  # over implicit TLS aiosmtpd sees no STARTTLS
                kwargs.update(auth_require_tls=False, auth_required=True,
                              authenticator=authenticator)
            if mode == "starttls":  # AUTH only after STARTTLS
                kwargs.update(tls_context=contexts["ca"], require_starttls=True,
                              auth_required=True, authenticator=authenticator)
            if mode == "untrusted":
                kwargs.update(tls_context=contexts["otherca"], require_starttls=True)
            return LoggingSMTP(mode, Handler(mode), **kwargs)
        return make

    raw_greetings = {
        "greet554": b"554 No service here\r\n",
        "garbage": b"xyz\r\n",
        "code2500": b"2500\r\n",
        "digits40": b"1234567890123456789012345678901234567890\r\n",
    }

    def raw_factory(mode):
        async def talk(reader, writer):
            log(mode, "connect")
            try:
                if mode == "drop":
                    pass
                elif mode == "trickle":
                    for _ in range(60):
                        writer.write(b"2")
                        await writer.drain()
                        await asyncio.sleep(0.9)
                else:
                    writer.write(raw_greetings[mode])
                    await writer.drain()
                    await asyncio.sleep(10)
            except (ConnectionError, OSError):
                pass
            writer.close()
        return talk

    def name(dotted):
        return b"".join(bytes([len(p)]) + p.encode() for p in dotted.split(".")) + b"\0"

    def rec(owner, rtype, data):
        return owner + struct.pack(">HHIH", rtype, 1, 60, len(data)) + data

    def raw_dns(mode, query):
        qid = query[:2]
        qend = 12
        while qend < len(query) and query[qend] != 0:
            qend += 1 + query[qend]
        question = query[12:qend + 5]

        def head(count, ident=qid):
            return ident + b"\x81\x80\x00\x01" + struct.pack(">H", count) + b"\0\0\0\0"
        ptr = b"\xc0\x0c"
        mx = rec(ptr, 15, b"\x00\x0a" + name("mx2.test"))
        if mode == "truncated":
            return (head(1) + question + mx)[:len(question) + 20]
        if mode == "selfptr":
            return head(1) + question + rec(ptr, 15, b"\x00\x0a\xc0" + bytes([12 + len(question) + 14]))
        if mode == "ptrpast":
            return head(1) + question + rec(ptr, 15, b"\x00\x0a\xc0\xf0")
        if mode == "rdlenpast":
            return head(1) + question + ptr + struct.pack(">HHIH", 15, 1, 60, 200) + b"\x00\x0a"
        if mode == "cnamefirst":
            return head(3) + question + rec(ptr, 1, bytes([127, 0, 0, 7])) + \
                rec(ptr, 5, name("alias.test")) + rec(ptr, 15, b"\x00\x05" + name("mx3.test"))
        if mode == "uncompressed":
            return head(1) + question + rec(query[12:qend + 1], 15, b"\x00\x01" + name("mx2.test"))
        if mode == "wrongid":
            return head(1, bytes([query[0] ^ 1, query[1]])) + question + mx
        if mode == "servfail":  # an error answer, even though it carries a record
            return head(1)[:3] + b"\x82" + head(1)[4:] + question + mx
        return None

    class Dns(asyncio.DatagramProtocol):
        def __init__(self, mode):
            self.mode = mode

        def connection_made(self, transport):
            self.transport = transport

        def datagram_received(self, data, addr):
            log("dns-" + self.mode, data.hex())
            if self.mode == "good":
                request = DNSRecord.parse(data)
                reply = request.reply()
                domain = str(request.q.qname).rstrip(".")
                for pref, host in MX_ANSWERS.get(domain, []):
                    reply.add_answer(RR(request.q.qname, QTYPE.MX, rdata=MX(host, pref), ttl=60))
                if domain not in MX_ANSWERS:
                    reply.header.rcode = RCODE.NXDOMAIN
                self.transport.sendto(reply.pack(), addr)
                return
            answer = raw_dns(self.mode, data)
            if answer is not None:
                self.transport.sendto(answer, addr)

    class Upload(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
            log("http-" + self.server.mode, f"POST {self.path} {len(body)}")
            if self.server.mode == "silent":
                return time.sleep(60)
            with open(os.path.join(out, (self.path.split("/") + [""] * 3)[2] + ".http"), "wb") as f:
                f.write(b"Content-Type: %s\r\n\r\n%s" % (self.headers["Content-Type"].encode(), body))
            ok = self.server.mode == "ok"
            answer = b'{"id":"1"}' if ok else b"Internal error: not today"
            self.send_response(200 if ok else 500)
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)

        def log_message(self, *args):
            pass

    async def main():
        loop = asyncio.get_running_loop()
        env = {}
        for mode in ["ok", "fail500", "silent"]:
            server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Upload)
            server.daemon_threads = True
            server.mode = mode
            threading.Thread(target=server.serve_forever, daemon=True).start()
            env["VL_HTTP_" + mode.upper()] = server.server_address[1]
        implicit = {"tls": contexts["ca"], "tlsother": contexts["otherca"]}  # TLS from the start
        for mode in ["plain", "auth", "rcpt550", "rcpt251", "data554", "delay", "datadelay",
                     "starttls", "untrusted", "nostarttls", "tls", "tlsother"]:
            server = await loop.create_server(smtp_factory(mode), "127.0.0.1", 0,
                                              ssl=implicit.get(mode))
            port = server.sockets[0].getsockname()[1]
            env["VL_SMTP_" + mode.upper()] = port
            if mode == "plain":  # the exchangers of the direct mode share the port
                for host in ["127.0.0.2", "127.0.0.3"]:
                    await loop.create_server(smtp_factory(mode), host, port)
        for mode in ["greet554", "drop", "garbage", "code2500", "digits40", "trickle"]:
            server = await asyncio.start_server(raw_factory(mode), "127.0.0.1", 0)
            env["VL_SMTP_" + mode.upper()] = server.sockets[0].getsockname()[1]
        for mode in ["good", "truncated", "selfptr", "ptrpast", "rdlenpast", "cnamefirst",
                     "uncompressed", "wrongid", "silence", "servfail"]:
            transport, _ = await loop.create_datagram_endpoint(lambda m=mode: Dns(m),
                                                               local_addr=("127.0.0.1", 0))
            env["VL_DNS_" + mode.upper()] = transport.get_extra_info("sockname")[1]
        for host, mode in [("127.0.0.4", "servfail"), ("127.0.0.5", "silence"), ("127.0.0.6", "good")]:
            await loop.create_datagram_endpoint(lambda m=mode: Dns(m), local_addr=(host, env["VL_DNS_GOOD"]))
        closed = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        closed.bind(("127.0.0.1", 0))
        env["VL_DNS_CLOSED"] = closed.getsockname()[1]
        closed.close()
        with open(os.path.join(out, "ports.env.tmp"), "w") as f:
            for key, value in env.items():
                f.write(f"export {key}={value}\n")
        os.rename(os.path.join(out, "ports.env.tmp"), os.path.join(out, "ports.env"))
        await asyncio.Event().wait()

    asyncio.run(main())


def check(out):
    """Each <tag>.expect holds lines key=value: subject and body as hex of cp1252 bytes, and
    file=<name> for each attached file in DIR, in order."""
    failures = 0
    for entry in sorted(os.listdir(out)):
        if not entry.endswith(".expect"):
            continue
        tag = entry[:-7]
        expect = {"file": []}
        with open(os.path.join(out, entry)) as f:
            for line in f.read().splitlines():
                key, _, value = line.partition("=")
                if key == "file":
                    expect["file"].append(value)
                else:
                    expect[key] = value
        problems = []
        path = os.path.join(out, tag + ".eml")
        if not os.path.exists(path):
            print(f"{tag}: no message received")
            failures += 1
            continue
        raw = open(path, "rb").read()
        for number, line in enumerate(raw.split(b"\r\n")):
            if len(line) > 998:
                problems.append(f"line {number} has {len(line)} bytes")
        if b"\n" in raw.replace(b"\r\n", b"") or b"\r" in raw.replace(b"\r\n", b""):
            problems.append("bare CR or LF")
        msg = email.message_from_bytes(raw, policy=email.policy.compat32)
        parts = list(msg.walk())
        for part in parts:
            if part.defects:
                problems.append(f"defects {part.defects}")
        subject = str(email.header.make_header(email.header.decode_header(msg["Subject"])))
        want_subject = bytes.fromhex(expect.get("subject", "")).decode("cp1252")
        if subject != want_subject:
            problems.append(f"subject {subject!r} != {want_subject!r}")
        leaves = [p for p in parts if not p.is_multipart()]
        text = leaves[0]
        charset = text.get_content_charset() or "ascii"
        body = text.get_payload(decode=True).decode(charset)
        want_body = bytes.fromhex(expect.get("body", "")).decode("cp1252")
        want_body = want_body.replace("\r\n", "\n").replace("\r", "\n").replace("\n", "\r\n")
        if body.rstrip("\r\n") != want_body.rstrip("\r\n"):
            problems.append(f"body {body[:200]!r} != {want_body[:200]!r}")
        files = leaves[1:]
        if len(files) != len(expect["file"]):
            problems.append(f"{len(files)} attachments, expected {len(expect['file'])}")
        for part, name in zip(files, expect["file"]):
            data = open(os.path.join(out, name), "rb").read()
            if part.get_payload(decode=True) != data:
                problems.append(f"attachment {name} differs")
            want_name = os.path.basename(name)
            if expect.get("filename"):
                want_name = bytes.fromhex(expect["filename"]).decode("cp1252")
            if part.get_filename() != want_name:
                problems.append(f"file name {part.get_filename()!r} != {want_name!r}")
            lines = part.get_payload().split("\r\n")
            while lines and lines[-1] == "":
                lines.pop()
            if any(len(l) != 80 for l in lines[:-1]) or (lines and len(lines[-1]) > 80):
                problems.append(f"base64 lines of {name} are not 80 characters")
        for p in problems:
            print(f"{tag}: {p}")
        if not problems:
            print(f"{tag}: ok")
        failures += len(problems)
    failures += check_uploads(out)
    return 1 if failures else 0


def check_upload(out, tag, expect):
    """The form's fields as a crash-collection server reads them, and the minidump as an
    independent reader (winedump) shows it. Returns the problems and the guid received."""
    path = os.path.join(out, tag + ".http")
    if not os.path.exists(path):
        return ["nothing uploaded"], None
    msg = email.message_from_bytes(open(path, "rb").read(), policy=email.policy.default)
    fields = {p.get_param("name", header="content-disposition"):
              (p.get_filename(), p.get_payload(decode=True), p.defects) for p in msg.iter_parts()}
    lines = lambda b: b.replace(b"\r\n", b"\n").replace(b"\r", b"\n").rstrip(b"\n")
    want = {"upload_file_minidump": ("crash_sample.dmp", None), "prod": (None, b"crash_sample"),
            "ver": (None, b""), "guid": (None, None),
            "vantorlog_report": ("report.txt", lines(bytes.fromhex(expect["report"])))}
    if sorted(fields) != sorted(want):
        return [f"fields {sorted(fields)}"], None
    problems = [f"{name}: {fields[name][:1]} {fields[name][2]}" for name, (filename, value)
                in want.items() if fields[name][0] != filename or fields[name][2] or
                (value is not None and lines(fields[name][1]) != value)]
    guid = fields["guid"][1].decode()
    if not re.fullmatch(r"[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}", guid):
        problems.append(f"guid {guid!r}")
    dump = os.path.join(out, tag + ".dmp")
    open(dump, "wb").write(fields["upload_file_minidump"][1])
    shown = subprocess.run(["winedump", "dump", dump], capture_output=True, text=True).stdout
    exception = re.search(r"Stream \[\d+\]: Exception:\s*ThreadId: 0x([0-9a-f]+).*?"
                          r"ExceptionAddress: 0x0*([0-9a-f]+)\b", shown, re.S)
    threads = re.findall(r"^  ThreadId: (\d+)$", shown, re.M)
    checks = {
        "MDMP signature": re.search(r"^Signature: 0x504d444d \(MDMP\)$", shown, re.M),
        "exception at the faulting address":
            exception and int(exception.group(2), 16) == int(expect["address"], 16),
        "program in the module list": re.search(
            r"Modules \(PE\):.*?ModuleName: L\"[^\"]*crash_sample\.exe\"", shown, re.S),
        "faulting thread among the threads":
            re.search(r"Stream \[\d+\]: Threads: [1-9]", shown) and exception and
            str(int(exception.group(1), 16)) in threads,
    }
    problems += [f"winedump shows no {what}" for what, found in checks.items() if not found]
    return problems, guid


def check_uploads(out):
    failures, guids = 0, set()
    for entry in sorted(e for e in os.listdir(out) if e.endswith(".upload-expect")):
        tag = entry[:-len(".upload-expect")]
        expect = dict(l.partition("=")[::2] for l in open(os.path.join(out, entry)).read().split())
        problems, guid = check_upload(out, tag, expect)
        guids.add(guid)
        print("\n".join(f"{tag}: {p}" for p in problems) or f"{tag}: ok")
        failures += len(problems)
    if len(guids) > 1:
        print(f"the installation's guid changed between uploads: {guids}")
        failures += 1
    return failures


if __name__ == "__main__":
    if sys.argv[1] == "serve":
        serve(sys.argv[2])
    else:
        sys.exit(check(sys.argv[2]))
