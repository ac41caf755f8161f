"""A network serial port we did not write: pyserial's RFC 2217 port manager
over its loop:// port, on a free loopback TCP port (printed first). Data
written comes back; the loop port reports DTR as DSR and RTS as CTS. The
manager's log goes to standard error. Serves one connection, then exits."""
import logging
import os
import socket
import sys
import threading

import serial
import serial.rfc2217

threading.Timer(30, lambda: os._exit(3)).start()  # never outlives a test that forgot it
logging.basicConfig(stream=sys.stderr, level=logging.INFO, format="%(message)s")

port = serial.serial_for_url("loop://", timeout=0.01)
listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.bind(("127.0.0.1", 0))
listener.listen(1)
print(listener.getsockname()[1], flush=True)
connection, _ = listener.accept()
connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
lock = threading.Lock()


class Writer:
    def write(self, data):
        with lock:
            connection.sendall(data)


manager = serial.rfc2217.PortManager(port, Writer(), logger=logging.getLogger("rfc2217"))


def pump_from_port():
    try:
        while True:
            data = port.read(port.in_waiting or 1)
            if data:
                Writer().write(b"".join(manager.escape(data)))
            manager.check_modem_lines()
    except OSError:
        os._exit(0)


threading.Thread(target=pump_from_port, daemon=True).start()
while True:
    data = connection.recv(1024)
    if not data:
        break
    port.write(b"".join(manager.filter(data)))
os._exit(0)
