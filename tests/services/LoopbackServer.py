#!/usr/bin/env python3
"""The loopback web service of the service tests: "start FILE" serves on
127.0.0.1 and a free port in a detached process and writes "<port> <pid>" to
FILE; "stop FILE" ends it. POST /control (form fields) configures and reads it:
Action=answer with Mode=raw|hold|trickle|close|silent|endless, Raw=<hex>,
Delay=<ms> sets the answer to every later request (hold: Raw once
Action=release came); Action=log gives and forgets what arrived: "C" per
connection, "R <request line>", "H <header>" and "B <body>" per request."""
import itertools, os, signal, subprocess, sys, threading, time, urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

lock, log, ids, released = threading.Lock(), [], itertools.count(), threading.Event()
answer = {'Mode': 'raw', 'Raw': b'HTTP/1.0 200 OK\r\n\r\n', 'Delay': 0}


class Handler(BaseHTTPRequestHandler):
    def handle(self):
        self.opened = 'C %d' % next(ids)
        with lock:
            log.append(self.opened)
        super().handle()

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get('Content-Length') or 0)).decode('latin-1')
        if self.path == '/control':
            return self.control(dict(urllib.parse.parse_qsl(body, keep_blank_values=True)))
        with lock:
            log.extend(['R ' + self.requestline] + ['H %s: %s' % h for h in self.headers.items()] + ['B ' + body])
            mode, raw, delay = answer['Mode'], answer['Raw'], answer['Delay'] / 1000
        if mode == 'silent':
            self.connection.settimeout(60)
            self.connection.recv(1)  # until the client gives up
        while mode == 'endless':
            self.wfile.write(b'HTTP/1.0 200 OK\r\n\r\n' + b'x' * 65536)
        for byte in raw if mode == 'trickle' else b'':
            time.sleep(delay)
            self.wfile.write(bytes([byte]))
        if mode == 'raw' or mode == 'hold' and released.wait(30):
            time.sleep(delay)
            self.wfile.write(raw)

    def control(self, fields):
        action, reply = fields.get('Action'), ''
        with lock:
            log.remove(self.opened)  # no connection of the product's
            if action == 'answer':
                released.clear()
                answer.update(Mode=fields['Mode'], Raw=bytes.fromhex(fields['Raw']), Delay=int(fields['Delay']))
            released.set() if action == 'release' else None
            if action == 'log':
                reply = '\n'.join(log)
                log.clear()
        data = reply.encode()
        self.wfile.write(b'HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n%s' % (len(data), data))

    def log_message(self, *args):
        pass


def main(command, path):
    try:  # a server of an earlier run, or the one to stop
        pid = int(open(path).read().split()[1])
        if b'LoopbackServer.py' in open('/proc/%d/cmdline' % pid, 'rb').read():
            os.kill(pid, signal.SIGTERM)
        os.remove(path)
    except (OSError, ValueError, IndexError):
        pass
    if command == 'start':
        subprocess.Popen([sys.executable, __file__, 'serve', path], stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        for _ in range(200):
            if os.path.exists(path):
                return 0
            time.sleep(0.05)
        return 1
    if command == 'serve':
        server = ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        with open(path + '.tmp', 'w') as f:
            f.write('%d %d\n' % (server.server_address[1], os.getpid()))
        os.replace(path + '.tmp', path)
        server.serve_forever()


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], sys.argv[2]))
