#!/usr/bin/env python3
"""Simulated devices for quillonlite's tests.

Run through a link named adb, fastboot, dfu-util or dravikFlashTool it plays that program against
the devices of the state file named by QLN_SIM_STATE; run as `qlnsim.py ctl ...` it sets devices up.
Every change of a device rewrites the fake sysfs USB tree named in the state. See README.md.
"""

import argparse
import contextlib
import fcntl
import hashlib
import json
import os
import shutil
import signal
import sys
import time

ADB_PID = "4ee7"
FASTBOOT_PID = "4ee0"
ZORVIK_VENDOR = "8087"
DNX_OS_PID = "0a65"
DNX_FW_PID = "0a82"
DFU_ID = ("0483", "df11")

ADB_STATES = {"mos": "device", "cos": "device", "ros": "recovery"}
FASTBOOT_STATES = ("pos", "tos", "dnx_os")
BOOT_MODES = {"pos": "provisioning", "tos": "test", "dnx_os": "dnx"}


# ---------------------------------------------------------------------------------------------
# State file


def state_path(explicit=None):
    path = explicit or os.environ.get("QLN_SIM_STATE")
    if not path:
        sys.stderr.write("qlnsim: QLN_SIM_STATE is not set\n")
        sys.exit(99)
    return path


@contextlib.contextmanager
def locked_state(path, write=True):
    """Yields the state under an exclusive lock; writes it back (and the sysfs tree) on exit."""
    with open(path + ".lock", "a+") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        with open(path) as f:
            state = json.load(f)
        yield state
        if write:
            temporary = path + ".new"
            with open(temporary, "w") as f:
                json.dump(state, f, indent=1, sort_keys=True)
            os.replace(temporary, path)
            write_sysfs(state)


def read_state(path):
    with locked_state(path, write=False) as state:
        return state


def find_device(state, serial):
    for device in state["devices"]:
        if device["serial"] == serial or (device.get("network") and device["network"] == serial):
            return device
    return None


def usb_identity(device):
    """(vendor, product, interface class/subclass/protocol, serial) of a device's state."""
    state = device["state"]
    vendor = device.get("vendor", "18d1")
    if state in ADB_STATES:
        return vendor, ADB_PID, ("ff", "42", "01"), device["serial"]
    if state in ("pos", "tos"):
        return vendor, FASTBOOT_PID, ("ff", "42", "03"), device["serial"]
    if state == "dnx_os":
        return ZORVIK_VENDOR, DNX_OS_PID, ("ff", "42", "03"), soc_serial(device)
    if state == "dnx_fw":
        return ZORVIK_VENDOR, DNX_FW_PID, ("ff", "ff", "ff"), soc_serial(device)
    if state == "dfu":
        return DFU_ID[0], DFU_ID[1], ("fe", "01", "02"), device["serial"]
    return None


def soc_serial(device):
    return device.get("soc_serial") or device["serial"]


def visible_serial(device):
    """The serial adb or fastboot report for the device in its current state."""
    if device.get("network"):
        return device["network"]
    identity = usb_identity(device)
    return identity[3] if identity else device["serial"]


# ---------------------------------------------------------------------------------------------
# Fake sysfs tree: real directories beside the root, symbolic links in it, as the kernel has them.


def write_attributes(folder, attributes):
    os.makedirs(folder, exist_ok=True)
    for name, value in attributes.items():
        with open(os.path.join(folder, name), "w") as f:
            f.write(str(value) + "\n")


def write_sysfs(state):
    root = state.get("sysfs")
    if not root:
        return
    store = root.rstrip("/") + ".devices"
    shutil.rmtree(store, ignore_errors=True)
    if os.path.isdir(root):
        for entry in os.listdir(root):
            os.unlink(os.path.join(root, entry))
    os.makedirs(root, exist_ok=True)
    os.makedirs(store, exist_ok=True)

    usb_devices = [d for d in state["devices"]
                   if d.get("connected", True) and not d.get("network") and usb_identity(d)]
    buses = sorted({int(d["port"].split("-")[0]) for d in usb_devices} | {1})
    paths = {}
    for bus in buses:
        hub = os.path.join(store, "usb%d" % bus)
        write_attributes(hub, {
            "idVendor": "1d6b", "idProduct": "0002", "busnum": bus, "devnum": 1, "devpath": 0,
            "speed": "480", "bDeviceClass": "09", "product": "xHCI Host Controller",
            "manufacturer": "Linux xHCI", "serial": "0000:00:14.0", "maxchild": 8,
        })
        paths["usb%d" % bus] = hub

    for number, device in enumerate(sorted(usb_devices, key=lambda d: d["port"]), start=2):
        vendor, product, interface, serial = usb_identity(device)
        port = device["port"]
        bus, chain = port.split("-", 1)
        parent = paths["usb" + bus]
        folder = os.path.join(parent, port)
        write_attributes(folder, {
            "idVendor": vendor, "idProduct": product, "busnum": bus, "devnum": number,
            "devpath": chain, "speed": device.get("speed", "480"), "bDeviceClass": "00",
            "bNumInterfaces": " 1", "manufacturer": device.get("manufacturer", "Simulated"),
            "product": device.get("product", "Simulated %s" % device["state"]), "serial": serial,
        })
        write_attributes(os.path.join(folder, port + ":1.0"), {
            "bInterfaceNumber": "00", "bInterfaceClass": interface[0],
            "bInterfaceSubClass": interface[1], "bInterfaceProtocol": interface[2],
            "bAlternateSetting": " 0", "bNumEndpoints": "02",
        })
        paths[port] = folder

    for name, folder in paths.items():
        os.symlink(folder, os.path.join(root, name))
        interface = os.path.join(folder, name + ":1.0")
        if os.path.isdir(interface):
            os.symlink(interface, os.path.join(root, name + ":1.0"))


# ---------------------------------------------------------------------------------------------
# Faults and bookkeeping shared by the fakes


class Outcome:
    OK, FAIL, HANG, CRASH, VANISH = range(5)


def record(state, device, program, args):
    """Logs the command, counts it for the device and says which fault, if any, it meets."""
    line = " ".join([program] + args)
    state.setdefault("log", []).append(line)
    if device is None:
        return Outcome.OK
    device["commands"] = device.get("commands", 0) + 1
    faults = device.get("faults", {})
    words = " ".join(args)
    if str(faults.get("fail_nth", "")) == str(device["commands"]):
        return Outcome.FAIL
    for knob, outcome in (("hang_match", Outcome.HANG), ("crash_match", Outcome.CRASH),
                          ("vanish_match", Outcome.VANISH), ("fail_match", Outcome.FAIL)):
        if faults.get(knob) and faults[knob] in words:
            if outcome == Outcome.VANISH:
                device["connected"] = False
            return outcome
    return Outcome.OK


def connected_in(state, states):
    """The plugged-in devices whose state is one of `states`."""
    return [d for d in state["devices"] if d.get("connected", True) and d["state"] in states]


def leading_options(args, flags, valued):
    """Splits the global options off a tool's words: (the -s selector or None, the rest)."""
    args = list(args)
    serial = None
    while args and args[0] in flags + valued:
        option = args.pop(0)
        value = args.pop(0) if option in valued and args else None
        if option == "-s":
            serial = value
    return serial, args


def hang_or_crash(outcome):
    if outcome == Outcome.HANG:
        while True:
            time.sleep(3600)
    if outcome == Outcome.CRASH:
        sys.stdout.flush()
        sys.stderr.flush()
        os.kill(os.getpid(), signal.SIGSEGV)


def reboot(device, target):
    if not str(device.get("faults", {}).get("refuse_reboot", "")) in ("1", "true"):
        device["state"] = target


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 16), b""):
            h.update(block)
    return h.hexdigest()


def out(text):
    sys.stdout.write(text)


def err(text):
    sys.stderr.write(text)


# ---------------------------------------------------------------------------------------------
# adb


def adb_devices(state):
    return connected_in(state, ADB_STATES)


def adb(args):
    path = state_path()
    full = list(args)
    serial, args = leading_options(args, flags=("-d", "-e"), valued=("-s", "-P", "-H", "-t"))
    if not args:
        err("adb: usage: no command specified\n")
        return 1
    command, rest = args[0], args[1:]

    if command == "version":
        out("Android Debug Bridge version 1.0.41\nVersion 29.0.6-debian\n"
            "Installed as /usr/lib/android-sdk/platform-tools/adb\n")
        return 0
    if command in ("start-server", "kill-server", "reconnect"):
        return 0

    with locked_state(path) as state:
        if command == "devices":
            record(state, None, "adb", full)
            out("List of devices attached\n")
            for device in adb_devices(state):
                line = "%s\t%s" % (visible_serial(device), ADB_STATES[device["state"]])
                if "-l" in rest:
                    where = "usb:%s " % device["port"] if not device.get("network") else ""
                    model = device.get("properties", {}).get("ro.product.model", "Sim")
                    line = "%-22s %s %sproduct:sim model:%s device:sim transport_id:%d" % (
                        visible_serial(device), ADB_STATES[device["state"]], where,
                        model.replace(" ", "_"), state["devices"].index(device) + 1)
                out(line + "\n")
            out("\n")
            return 0
        if command == "connect":
            record(state, None, "adb", full)
            address = rest[0] if rest else ""
            if ":" not in address:
                address += ":5555"
            device = find_device(state, address)
            if device is None:
                out("failed to connect to '%s': Connection refused\n" % address)
            else:
                out("connected to %s\n" % address)
            return 0

        candidates = adb_devices(state)
        if serial is None:
            if len(candidates) != 1:
                record(state, None, "adb", full)
                err("error: more than one device/emulator\n" if candidates
                    else "error: no devices/emulators found\n")
                return 1
            device = candidates[0]
        else:
            device = next((d for d in candidates if visible_serial(d) == serial), None)
            if device is None:
                record(state, None, "adb", full)
                err("error: device '%s' not found\n" % serial)
                return 1
        outcome = record(state, device, "adb", full)
        if outcome in (Outcome.FAIL, Outcome.VANISH):
            err("error: closed\n" if outcome == Outcome.FAIL else "error: device offline\n")
            return 1
        if outcome == Outcome.OK:
            return adb_command(device, command, rest)
    # Hanging or crashing happens outside the lock, so other fakes go on meanwhile.
    hang_or_crash(outcome)
    return 1


def adb_command(device, command, rest):
    properties = dict(device.get("properties", {}))
    properties.setdefault("ro.serialno", device["serial"])
    properties.setdefault("ro.bootmode", "charger" if device["state"] == "cos" else "normal")
    if command == "get-state":
        out(ADB_STATES[device["state"]] + "\n")
        return 0
    if command == "get-serialno":
        out(device["serial"] + "\n")
        return 0
    if command == "reboot":
        target = {None: "mos", "bootloader": "pos", "recovery": "ros", "dnx": "dnx_os",
                  "fastboot": "pos"}.get(rest[0] if rest else None)
        if target is None:
            err("adb: unknown reboot target '%s'\n" % rest[0])
            return 1
        reboot(device, target)
        return 0
    if command == "shell":
        words = " ".join(rest).split()
        if words[:1] == ["getprop"]:
            if len(words) > 1:
                out(properties.get(words[1], "") + "\n")
            else:
                for key in sorted(properties):
                    out("[%s]: [%s]\n" % (key, properties[key]))
            return 0
        if words[:1] == ["echo"]:
            out(" ".join(words[1:]) + "\n")
            return 0
        if words[:1] == ["exit"] and len(words) > 1:
            return int(words[1])
        return 0
    if command == "push":
        if len(rest) < 2 or not os.path.isfile(rest[0]):
            err("adb: error: cannot stat '%s': No such file or directory\n" % (rest[0] if rest else ""))
            return 1
        device.setdefault("files", {})[rest[-1]] = digest(rest[0])
        size = os.path.getsize(rest[0])
        out("%s: 1 file pushed, 0 skipped. 10.0 MB/s (%d bytes in 0.001s)\n" % (rest[0], size))
        return 0
    if command == "install":
        if not rest or not os.path.isfile(rest[-1]):
            err("adb: failed to stat %s: No such file or directory\n" % (rest[-1] if rest else ""))
            return 1
        out("Performing Streamed Install\nSuccess\n")
        return 0
    if command in ("root", "remount", "wait-for-device", "disable-verity", "sync"):
        return 0
    err("adb: unknown command %s\n" % command)
    return 1


# ---------------------------------------------------------------------------------------------
# fastboot (it writes everything to stderr)


def fastboot_devices(state):
    return connected_in(state, FASTBOOT_STATES)


def fastboot_target(state, serial):
    candidates = fastboot_devices(state)
    if serial is None:
        return candidates[0] if len(candidates) >= 1 else None
    if serial.startswith("tcp:"):
        address = serial[4:]
        return next((d for d in candidates if d.get("network") == address), None)
    return next((d for d in candidates if not d.get("network") and visible_serial(d) == serial), None)


def fastboot(args):
    path = state_path()
    full = list(args)
    serial, args = leading_options(args, flags=("-w", "-u"), valued=("-s", "-i", "--slot", "-S"))
    if not args:
        err("fastboot: usage: no command\n")
        return 1
    if args[0] in ("--version", "version"):
        out("fastboot version 29.0.6-debian\n"
            "Installed as /usr/lib/android-sdk/platform-tools/fastboot\n")
        return 0
    if args[0] == "devices":
        with locked_state(path) as state:
            record(state, None, "fastboot", full)
            for device in fastboot_devices(state):
                if device.get("network"):
                    continue
                if "-l" in args:
                    out("%-22s fastboot usb:%s\n" % (visible_serial(device), device["port"]))
                else:
                    out("%s\tfastboot\n" % visible_serial(device))
        return 0

    waited = False
    while True:
        with locked_state(path) as state:
            device = fastboot_target(state, serial)
            if device is not None:
                outcome = record(state, device, "fastboot", full)
                if outcome == Outcome.OK:
                    return fastboot_command(device, args)
                if outcome in (Outcome.FAIL, Outcome.VANISH):
                    reason = ("remote: 'simulated failure'" if outcome == Outcome.FAIL
                              else "Status read failed (No such device)")
                    err("%-50s FAILED (%s)\nfastboot: error: Command failed\n" % (" ".join(args), reason))
                    return 1
                break
        if not waited:
            err("< waiting for %s >\n" % (serial or "any device"))
            waited = True
        time.sleep(0.1)
    hang_or_crash(outcome)
    return 1


def okay(text):
    err("%-50s OKAY [  0.010s]\n" % text)


def finished():
    err("Finished. Total time: 0.030s\n")


def fastboot_command(device, args):
    command, rest = args[0], args[1:]
    if command == "getvar":
        name = rest[0] if rest else ""
        variables = {"serialno": visible_serial(device), "product": "sim",
                     "boot-mode": BOOT_MODES[device["state"]], "version-bootloader": "1.0",
                     "max-download-size": "0x20000000", "unlocked": "yes"}
        variables.update(device.get("vars", {}))
        if name == "all":
            for key in sorted(variables):
                err("(bootloader) %s:%s\n" % (key, variables[key]))
            err("all:\n")
        elif name in variables:
            err("%s: %s\n" % (name, variables[name]))
        else:
            err("%-50s FAILED (remote: 'GetVar Variable Not found')\n" % ("getvar:" + name))
        finished()
        return 0
    if command == "flash":
        if len(rest) < 2:
            err("fastboot: error: Cannot determine image filename for '%s'\n" % (rest[0] if rest else ""))
            return 1
        partition, image = rest[0], rest[1]
        if not os.path.isfile(image):
            err("fastboot: error: cannot load '%s': No such file or directory\n" % image)
            return 1
        size = os.path.getsize(image) // 1024
        okay("Sending '%s' (%d KB)" % (partition, size))
        okay("Writing '%s'" % partition)
        device.setdefault("partitions", {})[partition] = digest(image)
        finished()
        return 0
    if command == "erase":
        device.setdefault("partitions", {}).pop(rest[0] if rest else "", None)
        okay("Erasing '%s'" % (rest[0] if rest else ""))
        finished()
        return 0
    if command in ("reboot", "reboot-bootloader", "continue"):
        target = "mos"
        if command == "reboot-bootloader" or rest[:1] == ["bootloader"]:
            target = "pos"
        elif rest[:1] == ["recovery"]:
            target = "ros"
        if command == "continue":
            okay("Resuming boot")
        else:
            okay("Rebooting" + (" into bootloader" if target == "pos" else ""))
        reboot(device, target)
        finished()
        return 0
    if command == "oem" and rest[:2] == ["reboot", "dnx"]:
        okay("")
        reboot(device, "dnx_os")
        finished()
        return 0
    if command in ("oem", "flashing", "set_active", "boot", "format"):
        okay("")
        finished()
        return 0
    err("fastboot: usage: unknown command %s\n" % command)
    return 1


# ---------------------------------------------------------------------------------------------
# dfu-util and the firmware downloader's command-line tool


def dfu_util(args):
    path = state_path()
    if "-V" in args or "--version" in args:
        out("dfu-util 0.11\n\nCopyright 2005-2009 Weston Schmidt, Harald Welte and OpenMoko Inc.\n")
        return 0
    with locked_state(path) as state:
        devices = connected_in(state, ("dfu",))
        if "-l" in args or "--list" in args:
            record(state, None, "dfu-util", args)
            for device in devices:
                out('Found DFU: [%s:%s] ver=0200, devnum=2, cfg=1, intf=0, path="%s", alt=0, '
                    'name="@Internal Flash", serial="%s"\n'
                    % (DFU_ID[0], DFU_ID[1], device["port"], device["serial"]))
            return 0
        serial = args[args.index("-S") + 1] if "-S" in args else None
        device = next((d for d in devices if serial in (None, d["serial"])), None)
        if device is None:
            record(state, None, "dfu-util", args)
            err("dfu-util: No DFU capable USB device available\n")
            return 74
        outcome = record(state, device, "dfu-util", args)
        if outcome in (Outcome.FAIL, Outcome.VANISH):
            err("dfu-util: Error during download\n")
            return 74
        if outcome == Outcome.OK:
            if "-D" in args:
                image = args[args.index("-D") + 1]
                if not os.path.isfile(image):
                    err("dfu-util: Cannot open file %s\n" % image)
                    return 74
                size = os.path.getsize(image)
                out("Opening DFU capable USB device...\nDownload\t[")
                for step in range(0, 101, 25):
                    out("=" * (step // 4 - (step - 25) // 4 if step else 0))
                out("] 100%%%12d bytes\nDownload done.\n" % size)
                device.setdefault("partitions", {})["dfu"] = digest(image)
                if "-R" in args:
                    reboot(device, "mos")
            return 0
    hang_or_crash(outcome)
    return 1


def dravik_flash_tool(args):
    path = state_path()
    with locked_state(path) as state:
        devices = connected_in(state, ("dnx_fw",))
        device = devices[0] if devices else None
        outcome = record(state, device, "dravikFlashTool", args)
        if device is None:
            err("Error: no device in firmware download mode\n")
            return 2
        if outcome in (Outcome.FAIL, Outcome.VANISH):
            err("Error: firmware download failed\n")
            return 1
        if outcome == Outcome.OK:
            for done in (0, 50, 100):
                out("Progress: %d%%\n" % done)
            out("Firmware download done\n")
            reboot(device, "dnx_os")
            return 0
    hang_or_crash(outcome)
    return 1


# ---------------------------------------------------------------------------------------------
# Control


def key_values(pairs):
    result = {}
    for pair in pairs or []:
        key, _, value = pair.partition("=")
        result[key] = value
    return result


def control(argv):
    parser = argparse.ArgumentParser(prog="qlnsim.py ctl")
    parser.add_argument("action", choices=["init", "add", "set", "unplug", "plug", "show", "log"])
    parser.add_argument("--state")
    parser.add_argument("--sysfs")
    parser.add_argument("--serial")
    parser.add_argument("--port")
    parser.add_argument("--state-name")
    parser.add_argument("--vendor")
    parser.add_argument("--soc-serial")
    parser.add_argument("--network")
    parser.add_argument("--prop", action="append")
    parser.add_argument("--fault", action="append")
    options = parser.parse_args(argv)
    path = state_path(options.state)

    if options.action == "init":
        with open(path, "w") as f:
            json.dump({"sysfs": os.path.abspath(options.sysfs) if options.sysfs else "",
                       "log": [], "devices": []}, f)
        with locked_state(path):
            pass
        return 0
    if options.action in ("show", "log"):
        state = read_state(path)
        if options.action == "show":
            out(json.dumps(state, indent=1, sort_keys=True) + "\n")
        else:
            out("".join(line + "\n" for line in state.get("log", [])))
        return 0

    with locked_state(path) as state:
        if options.action == "add":
            if find_device(state, options.serial):
                err("qlnsim: device %s exists already\n" % options.serial)
                return 2
            state["devices"].append({
                "serial": options.serial, "port": options.port or "1-%d" % (len(state["devices"]) + 1),
                "state": options.state_name or "mos", "vendor": options.vendor or "18d1",
                "soc_serial": options.soc_serial or "", "network": options.network or "",
                "connected": True, "properties": key_values(options.prop), "vars": {},
                "partitions": {}, "files": {}, "faults": key_values(options.fault), "commands": 0,
            })
            return 0
        device = find_device(state, options.serial)
        if device is None:
            err("qlnsim: no device %s\n" % options.serial)
            return 2
        if options.action == "set":
            if options.state_name:
                device["state"] = options.state_name
            device.setdefault("faults", {}).update(key_values(options.fault))
            device.setdefault("properties", {}).update(key_values(options.prop))
        else:
            device["connected"] = options.action == "plug"
    return 0


PROGRAMS = {"adb": adb, "fastboot": fastboot, "dfu-util": dfu_util,
            "dravikFlashTool": dravik_flash_tool}


def main():
    name = os.path.basename(sys.argv[0])
    if name in PROGRAMS:
        return PROGRAMS[name](sys.argv[1:])
    if len(sys.argv) > 1 and sys.argv[1] == "ctl":
        return control(sys.argv[2:])
    if len(sys.argv) > 1 and sys.argv[1] in PROGRAMS:
        return PROGRAMS[sys.argv[1]](sys.argv[2:])
    sys.stderr.write("usage: qlnsim.py ctl ACTION ... | qlnsim.py PROGRAM ARGS...\n")
    return 2


if __name__ == "__main__":
    sys.exit(main())
