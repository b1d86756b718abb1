#!/usr/bin/env python3
"""Loopback HTTP server for the update's Wine tests.

  update_server.py --daemon PORTFILE [FILES]   fork, return once listening (ctest fixture setup)
  update_server.py --stop PORTFILE             stop it (ctest fixture cleanup)
  update_server.py PORTFILE [FILES]            serve in the foreground
/files/NAME serves the file NAME of the folder FILES (the signed test installers).
The daemon ends by itself after LIFETIME seconds.
"""
import http.server, os, signal, socketserver, sys, threading, time

LIFETIME = 900


def page(port, version):
    return ("<html><body>\r\n"
            "zpid:12</br>zpname:小工具合集</br>zpver:%s</br>zpms:分割、虚拟硬盘、IE修复</br>"
            "zpsjnr:\r\n1.修正若干问题\r\n2.新增功能\r\n</br>zpdx:1.2MB</br>zpgxsj:2026-12-01</br>"
            "zp_downurl:http://127.0.0.1:%d/redirect/2/big/200000</br>zpzc:Win7/Win10</br>"
            "</body></html>\r\n" % (version, port)).encode("gbk")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *a):
        pass

    def _send(self, code, body=b"", headers=(), length=True, head=False):
        self.send_response(code)
        for k, v in headers:
            self.send_header(k, v)
        if length:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def route(self, head):
        p = self.path
        port = self.server.server_address[1]
        if p == "/gjhjsj.asp":                        # a newer release on offer
            return self._send(200, page(port, "v1.4"), head=head)
        if p == "/old/gjhjsj.asp":                    # nothing newer
            return self._send(200, page(port, "v1.3"), head=head)
        if p == "/moved/gjhjsj.asp":                  # the check must not follow this
            return self._send(302, b"", [("Location", "/gjhjsj.asp")], head=head)
        if p == "/text":
            return self._send(200, b"line1\nline2\x00tail", head=head)
        if p == "/ua":                                # echoes the User-Agent
            return self._send(200, self.headers.get("User-Agent", "").encode(), head=head)
        if p.startswith("/echo/"):                    # the request line exactly as received;
            line = self.raw_requestline               # HEAD announces the GET's line length
            if head:
                line = b"GET " + line[len(b"HEAD "):]
            return self._send(200, line, head=head)
        if p.startswith("/big/"):                     # /big/N: N bytes with Content-Length
            return self._send(200, bytes(i % 251 for i in range(int(p[5:]))), head=head)
        if p.startswith("/nolength/"):                # N bytes, no Content-Length, ends at close
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            if not head:
                self.wfile.write(bytes(i % 251 for i in range(int(p[10:]))))
            return
        if p.startswith("/drop/"):                    # announces N, sends half, hangs up
            n = int(p[6:])
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            self.close_connection = True
            if not head:
                self.wfile.write(b"x" * (n // 2))
                self.wfile.flush()
            return
        if p.startswith("/headlie/"):                 # HEAD announces N+1, GET gives N
            n = int(p[9:])
            if head:
                self.send_response(200)
                self.send_header("Content-Length", str(n + 1))
                self.end_headers()
                return
            return self._send(200, b"y" * n)
        if p.startswith("/files/") and self.server.files:
            name = os.path.basename(p[7:])
            try:
                body = open(os.path.join(self.server.files, name), "rb").read()
            except OSError:
                return self._send(404, b"no such file", head=head)
            return self._send(200, body, head=head)
        if p.startswith("/status/"):
            return self._send(int(p[8:]), b"error page", head=head)
        if p.startswith("/redirect/"):                # /redirect/N/rest -> ... -> /rest
            rest = p[10:]
            n, _, tail = rest.partition("/")
            n = int(n)
            if n == 0:
                if tail:
                    return self._send(302, b"", [("Location", "/" + tail)], head=head)
                return self._send(200, b"arrived", head=head)
            where = "/redirect/%d" % (n - 1) + ("/" + tail if tail else "")
            return self._send(302, b"", [("Location", where)], head=head)
        return self._send(404, b"not found", head=head)

    def do_GET(self):
        self.route(False)

    def do_HEAD(self):
        self.route(True)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(portfile, files, ready_fd=None):
    srv = Server(("127.0.0.1", 0), Handler)
    srv.files = files
    with open(portfile + ".tmp", "w") as f:
        f.write("%d %d\n" % (srv.server_address[1], os.getpid()))
    os.replace(portfile + ".tmp", portfile)
    threading.Timer(LIFETIME, srv.shutdown).start()
    if ready_fd is not None:
        os.write(ready_fd, b"x")
        os.close(ready_fd)
    srv.serve_forever()


def main():
    args = sys.argv[1:]
    if args[0] == "--stop":
        try:
            port, pid = open(args[1]).read().split()
            os.kill(int(pid), signal.SIGTERM)
            for _ in range(50):
                os.kill(int(pid), 0)
                time.sleep(0.1)
        except (OSError, ValueError):
            pass
        try:
            os.remove(args[1])
        except OSError:
            pass
        return
    if args[0] == "--daemon":
        r, w = os.pipe()
        if os.fork() > 0:
            os.close(w)
            ok = os.read(r, 1)
            print(open(args[1]).read().strip() if ok else "server failed")
            sys.exit(0 if ok else 1)
        os.close(r)
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        serve(args[1], args[2] if len(args) > 2 else None, w)
        os._exit(0)
    serve(args[0], args[1] if len(args) > 1 else None)


if __name__ == "__main__":
    main()
