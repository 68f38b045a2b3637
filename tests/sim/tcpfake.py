#!/usr/bin/python3
"""A network device on loopback that Debian's real adb and fastboot can talk to.

    tcpfake.py adb PORT SERIAL       # adb transport (adb connect 127.0.0.1:PORT)
    tcpfake.py fastboot PORT SERIAL  # fastboot TCP protocol (fastboot -s tcp:127.0.0.1:PORT)

It answers from the simulator's state file (QLN_SIM_STATE), for the device whose network address is
127.0.0.1:PORT, so a test can run the same command through the real tool and through the fake one
and compare what both print. It prints "ready" once listening and serves until killed.
"""

import contextlib
import io
import socket
import struct
import sys
import threading

import qlnsim

# ---------------------------------------------------------------------------------------------
# adb transport: 24-byte header (command, arg0, arg1, length, checksum, magic) and a payload.

A_CNXN, A_OPEN, A_OKAY, A_CLSE, A_WRTE = 0x4E584E43, 0x4E45504F, 0x59414B4F, 0x45534C43, 0x45545257
ADB_VERSION = 0x01000000
MAX_PAYLOAD = 4096


def adb_packet(command, arg0, arg1, payload=b""):
    checksum = sum(payload) & 0xFFFFFFFF
    header = struct.pack("<6I", command, arg0, arg1, len(payload), checksum, command ^ 0xFFFFFFFF)
    return header + payload


def read_exactly(connection, size):
    data = b""
    while len(data) < size:
        chunk = connection.recv(size - len(data))
        if not chunk:
            raise ConnectionError("closed")
        data += chunk
    return data


def read_adb_packet(connection):
    command, arg0, arg1, length, _, _ = struct.unpack("<6I", read_exactly(connection, 24))
    return command, arg0, arg1, read_exactly(connection, length) if length else b""


def device_of(port):
    state = qlnsim.read_state(qlnsim.state_path())
    return qlnsim.find_device(state, "127.0.0.1:%d" % port)


def adb_service(port, service):
    """Runs one service through the fake adb and returns what it prints on stdout."""
    if service.startswith("shell:"):
        words = ["shell", service[len("shell:"):]]
    else:
        words = [service]
    buffer = io.StringIO()
    with contextlib.redirect_stdout(buffer), contextlib.redirect_stderr(io.StringIO()):
        qlnsim.adb(["-s", "127.0.0.1:%d" % port] + words)
    return buffer.getvalue().encode()


def serve_adb(connection, port):
    local_id = 1
    while True:
        command, arg0, _, payload = read_adb_packet(connection)
        if command == A_CNXN:
            device = device_of(port) or {}
            model = device.get("properties", {}).get("ro.product.model", "Sim")
            banner = "device::ro.product.name=sim;ro.product.model=%s;ro.product.device=sim;" % model
            connection.sendall(adb_packet(A_CNXN, ADB_VERSION, MAX_PAYLOAD, banner.encode()))
        elif command == A_OPEN:
            remote_id = arg0
            service = payload.rstrip(b"\0").decode()
            connection.sendall(adb_packet(A_OKAY, local_id, remote_id))
            output = adb_service(port, service)
            for start in range(0, len(output), MAX_PAYLOAD):
                connection.sendall(adb_packet(A_WRTE, local_id, remote_id, output[start:start + MAX_PAYLOAD]))
                read_adb_packet(connection)  # the client's OKAY
            connection.sendall(adb_packet(A_CLSE, local_id, remote_id))
            local_id += 1
        # OKAY and CLSE of the client need no answer.


# ---------------------------------------------------------------------------------------------
# fastboot over TCP: "FB01" handshake, then packets with an 8-byte big-endian length.


def read_fastboot(connection):
    (length,) = struct.unpack(">Q", read_exactly(connection, 8))
    return read_exactly(connection, length)


def send_fastboot(connection, data):
    connection.sendall(struct.pack(">Q", len(data)) + data)


def serve_fastboot(connection, port):
    if read_exactly(connection, 4) != b"FB01":
        return
    connection.sendall(b"FB01")
    download = b""
    while True:
        command = read_fastboot(connection).decode(errors="replace")
        device = device_of(port)
        if device is None:
            send_fastboot(connection, b"FAILno device")
            continue
        if command.startswith("getvar:"):
            name = command[len("getvar:"):]
            variables = {"serialno": "127.0.0.1:%d" % port, "product": "sim",
                         "boot-mode": qlnsim.BOOT_MODES.get(device["state"], ""),
                         "version-bootloader": "1.0", "max-download-size": "0x20000000",
                         "unlocked": "yes"}
            variables.update(device.get("vars", {}))
            if name in variables:
                send_fastboot(connection, b"OKAY" + variables[name].encode())
            else:
                send_fastboot(connection, b"FAILGetVar Variable Not found")
        elif command.startswith("download:"):
            size = int(command[len("download:"):], 16)
            send_fastboot(connection, b"DATA%08x" % size)
            download = b""
            while len(download) < size:
                download += read_fastboot(connection)
            send_fastboot(connection, b"OKAY")
        elif command.startswith("flash:"):
            send_fastboot(connection, b"OKAY")
        elif command.startswith("reboot"):
            send_fastboot(connection, b"OKAY")
            return
        else:
            send_fastboot(connection, b"OKAY")


def main():
    kind, port = sys.argv[1], int(sys.argv[2])
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", port))
    server.listen(4)
    print("ready", flush=True)
    serve = serve_adb if kind == "adb" else serve_fastboot

    def handle(connection):
        try:
            serve(connection, port)
        except (ConnectionError, OSError):
            pass
        finally:
            connection.close()

    while True:
        connection, _ = server.accept()
        threading.Thread(target=handle, args=(connection,), daemon=True).start()


if __name__ == "__main__":
    main()
