#!/usr/bin/python3
"""Simulated devices for quillonlite's tests.

Run through a link named adb, fastboot, dfu-util or dravikFlashTool it plays that program against
the devices of the state file named by QLN_SIM_STATE; run as `qlnsim.py ctl ...` it sets devices up.
A change of a device's USB identity updates the fake sysfs USB tree named in the state, device by
device, each in one step; nothing else touches the tree. See README.md.
"""

import argparse
import contextlib
import fcntl
import hashlib
import io
import json
import os
import re
import selectors
import shutil
import signal
import socket
import stat
import sys
import tempfile
import time
import traceback

ADB_PID = "4ee7"
FASTBOOT_PID = "4ee0"
ZORVIK_VENDOR = "8087"
DNX_OS_PID = "0a65"
DNX_FW_PID = "0a82"
DFU_ID = ("0483", "df11")
KEYBOARD_ID = ("046d", "c33f")

# The product string of each state: what the device's firmware in that state calls itself.
PRODUCT_NAMES = {"mos": "Android", "cos": "Android", "ros": "Android", "pos": "Bootloader",
                 "tos": "Bootloader", "dnx_os": "DnX OS", "dnx_fw": "DnX", "dfu": "DFU",
                 "kbd": "Keyboard"}
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


def log_path(path):
    return path + ".log"


@contextlib.contextmanager
def locked_state(path, write=True):
    """Yields the state under an exclusive lock. On exit, when it changed, writes it back (beside,
    then renamed over) and updates the sysfs tree where a device's USB identity changed."""
    with open(path + ".lock", "a+") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        with open(path) as f:
            text = f.read()
        before = json.loads(text)
        state = json.loads(text)
        yield state
        if write and state != before:
            number_enumerations(before, state)
            replace_file(path, json.dumps(state, indent=1, sort_keys=True))
            update_sysfs(before, state)


def replace_file(path, text):
    """Writes `text` beside `path`, then renames it over `path`: readers see old or new, whole."""
    folder, name = os.path.split(path)
    handle, temporary = tempfile.mkstemp(prefix="." + name + ".", dir=folder or ".")
    with os.fdopen(handle, "w") as f:
        f.write(text)
    os.replace(temporary, path)


def read_state(path):
    with locked_state(path, write=False) as state:
        return state


# When this fake started (seconds since the epoch): the time its command reached the simulator,
# before any wait for the state's lock. Set by main().
started = 0.0
# Seconds a matching command (knobs delay_match, delay_ms) takes beyond its work; record() sets it
# and main() spends it once the state's lock is released, so slow devices run side by side.
pending_delay = 0.0


def append_log(path, line):
    """The command journal: one line a command, beside the state (the state itself is not touched
    by commands that change nothing), each after the time its fake started."""
    with open(log_path(path), "a") as f:
        f.write("%.6f %s\n" % (started, line.replace("\n", " ")))


def count_command(path, device):
    """Counts a command addressed to `device` in the journal's tally beside the state; returns
    the count (the first command is 1)."""
    counts_path = path + ".counts"
    try:
        with open(counts_path) as f:
            counts = json.load(f)
    except (FileNotFoundError, ValueError):
        counts = {}
    counts[device["serial"]] = counts.get(device["serial"], 0) + 1
    replace_file(counts_path, json.dumps(counts))
    return counts[device["serial"]]


def pids_path(path):
    return path + ".pids"


# The process the program started for this call: the compiled client when the server runs the
# call (see serve()), else this one.
caller_pid = None


def note_pid(path, program):
    """Adds this fake to the list of every fake that ran (pid and program), so that a test can
    check that none outlives the program that started it."""
    with open(path + ".lock", "a+") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        with open(pids_path(path), "a") as f:
            f.write("%d %s\n" % (caller_pid or os.getpid(), program))


def read_pids(path):
    """[(pid, program)] of every fake that ran, in start order."""
    try:
        with open(pids_path(path)) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return []
    return [(int(pid), program) for pid, _, program in (line.partition(" ") for line in lines)]


def read_counts(path):
    try:
        with open(path + ".counts") as f:
            return json.load(f)
    except (FileNotFoundError, ValueError):
        return {}


def read_log(path, times=False):
    """The journal's commands, each after its time ("SECONDS COMMAND") when `times` is set."""
    try:
        with open(log_path(path)) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return []
    return lines if times else [line.partition(" ")[2] for line in lines]


def find_device(state, serial):
    for device in state["devices"]:
        if device["serial"] == serial or (device.get("network") and device["network"] == serial):
            return device
    return None


def usb_identity(device):
    """(vendor, product, interfaces as class/subclass/protocol triplets, serial) of a device's
    state; None when the state shows nothing on USB."""
    state = device["state"]
    vendor = device.get("vendor", "18d1")
    if state in ADB_STATES:
        return vendor, ADB_PID, [("ff", "42", "01")], device["serial"]
    if state in ("pos", "tos"):
        return vendor, FASTBOOT_PID, [("ff", "42", "03")], device["serial"]
    if state == "dnx_os":
        return ZORVIK_VENDOR, DNX_OS_PID, [("ff", "42", "03")], soc_serial(device)
    if state == "dnx_fw":
        return ZORVIK_VENDOR, DNX_FW_PID, [("ff", "ff", "ff")], soc_serial(device)
    if state == "dfu":
        return DFU_ID[0], DFU_ID[1], [("fe", "01", "02")], device["serial"]
    if state == "kbd":
        # A keyboard: its HID function and a run-time DFU interface, as many peripherals have.
        return KEYBOARD_ID[0], KEYBOARD_ID[1], [("03", "01", "01"), ("fe", "01", "01")], device["serial"]
    return None


def usb_port(device):
    """The port the device enumerates on in its current state: its SuperSpeed port in the states
    listed as such, else its (high-speed) port."""
    if device.get("superspeed_port") and device["state"] in device.get("superspeed_states", []):
        return device["superspeed_port"]
    return device["port"]


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
# A device folder is named after its identity and never changes once written; a device that
# changes identity gets a new folder and its links are swapped over to it, one rename each, so a
# reader sees the old device or the new one, never a mix, and devices that did not move are never
# touched. Folders nothing links to any more are removed a while later (a reader may be in them).

HUB_PORTS = 8
STALE_SECONDS = 5.0


def write_attributes(folder, attributes):
    os.makedirs(folder, exist_ok=True)
    for name, value in attributes.items():
        with open(os.path.join(folder, name), "w") as f:
            f.write(str(value) + "\n")


def store_of(root):
    return root.rstrip("/") + ".devices"


def link(target, name):
    """Points the link `name` at `target` in one step (a new link renamed over the old one)."""
    try:
        if os.readlink(name) == target:
            return
    except OSError:
        pass
    temporary = "%s.new%d" % (name, os.getpid())
    if os.path.lexists(temporary):
        os.unlink(temporary)
    os.symlink(target, temporary)
    os.replace(temporary, name)


def unlink(name):
    if os.path.lexists(name):
        os.unlink(name)


def bus_of(port):
    return int(port.split("-")[0])


def peers(state):
    """Pairs of root-hub connectors that are one USB 3 connector: {(bus, port): (bus, port)}."""
    pairs = {}
    for device in state["devices"]:
        if device.get("superspeed_port"):
            high, high_port = device["port"].split("-", 1)
            low, low_port = device["superspeed_port"].split("-", 1)
            pairs[(int(high), high_port)] = (int(low), low_port)
            pairs[(int(low), low_port)] = (int(high), high_port)
    return pairs


def write_hub(store, root, bus, pairs):
    hub = os.path.join(store, "usb%d" % bus)
    if not os.path.isdir(hub):
        folder = tempfile.mkdtemp(prefix=".usb%d." % bus, dir=store)
        os.chmod(folder, 0o755)
        write_attributes(folder, {
            "idVendor": "1d6b", "idProduct": "0002", "busnum": bus, "devnum": 1, "devpath": 0,
            "speed": "480", "bDeviceClass": "09", "product": "xHCI Host Controller",
            "manufacturer": "Linux xHCI", "serial": "0000:00:14.0", "maxchild": HUB_PORTS,
        })
        interface = os.path.join(folder, "%d-0:1.0" % bus)
        write_attributes(interface, {"bInterfaceClass": "09", "bInterfaceSubClass": "00",
                                     "bInterfaceProtocol": "00"})
        for number in range(1, HUB_PORTS + 1):
            os.makedirs(os.path.join(interface, "usb%d-port%d" % (bus, number)))
        os.rename(folder, hub)
    for number in range(1, HUB_PORTS + 1):
        connector = os.path.join(hub, "%d-0:1.0" % bus, "usb%d-port%d" % (bus, number))
        peer = pairs.get((bus, str(number)))
        if peer:
            link("../../../usb%d/%d-0:1.0/usb%d-port%s" % (peer[0], peer[0], peer[0], peer[1]),
                 os.path.join(connector, "peer"))
    link(hub, os.path.join(root, "usb%d" % bus))


def device_entry(device, number):
    """(port, attributes, interfaces) of a connected USB device; None when it shows nothing."""
    identity = usb_identity(device)
    if identity is None or not device.get("connected", True) or device.get("network"):
        return None
    vendor, product, interfaces, serial = identity
    port = usb_port(device)
    superspeed = port != device["port"]
    attributes = {
        "idVendor": vendor, "idProduct": product, "busnum": bus_of(port), "devnum": device.get("devnum", number),
        "devpath": port.split("-", 1)[1], "speed": "5000" if superspeed else device.get("speed", "480"),
        "bDeviceClass": "00", "bNumInterfaces": " %d" % len(interfaces),
        "manufacturer": device.get("manufacturer", "Simulated"),
        "product": device.get("product", "Simulated %s" % PRODUCT_NAMES[device["state"]]), "serial": serial,
    }
    return port, attributes, interfaces


def number_enumerations(before, after):
    """Gives a device that enumerates anew (it appears, comes back, or changes its mode: a reboot,
    even into a mode of the same USB ids) the next device number, as the kernel numbers every
    enumeration."""
    old = {device["serial"]: (device_entry(device, 0), device["state"]) for device in before.get("devices", [])}
    for device in after.get("devices", []):
        entry = device_entry(device, 0)
        if entry is None or (entry, device["state"]) == old.get(device["serial"]):
            continue
        number = after.get("next_devnum", 2)
        after["next_devnum"] = number + 1 if number < 127 else 2
        device["devnum"] = number


def sysfs_entries(state):
    entries = {}
    for number, device in enumerate(state["devices"], start=2):
        entry = device_entry(device, number)
        if entry:
            entries[entry[0]] = entry
    return entries


def write_device(store, root, entry):
    port, attributes, interfaces = entry
    digest_of = hashlib.sha256(json.dumps([attributes, interfaces], sort_keys=True).encode())
    folder = os.path.join(store, "%s@%s" % (port, digest_of.hexdigest()[:16]))
    if not os.path.isdir(folder):
        temporary = tempfile.mkdtemp(prefix=".%s." % port, dir=store)
        os.chmod(temporary, 0o755)
        write_attributes(temporary, attributes)
        for index, interface in enumerate(interfaces):
            write_attributes(os.path.join(temporary, "%s:1.%d" % (port, index)), {
                "bInterfaceNumber": "%02x" % index, "bInterfaceClass": interface[0],
                "bInterfaceSubClass": interface[1], "bInterfaceProtocol": interface[2],
                "bAlternateSetting": " 0", "bNumEndpoints": "02",
            })
        os.rename(temporary, folder)
    for name in os.listdir(root):
        if name.startswith(port + ":1.") and int(name.rsplit(".", 1)[1]) >= len(interfaces):
            unlink(os.path.join(root, name))
    for index in range(len(interfaces)):
        link(os.path.join(folder, "%s:1.%d" % (port, index)), os.path.join(root, "%s:1.%d" % (port, index)))
    link(folder, os.path.join(root, port))


def remove_device(root, port):
    unlink(os.path.join(root, port))
    for name in os.listdir(root):
        if name.startswith(port + ":"):
            unlink(os.path.join(root, name))


def used_folders(root):
    """Device folders the links of the tree point to (interface links name their device's folder)."""
    used = set()
    for name in os.listdir(root):
        target = os.path.realpath(os.path.join(root, name))
        used.add(target)
        used.add(os.path.dirname(target))
    return used


def remove_stale(store, root, was_used):
    """Removes folders out of use for a while. A folder's time is when it last went out of use: a
    reader that resolved a link just before the swap may still be inside it."""
    used = used_folders(root)
    now = time.time()
    for name in os.listdir(store):
        folder = os.path.join(store, name)
        if name.startswith("usb") or folder in used:
            continue
        if folder in was_used:
            os.utime(folder)
        elif now - os.lstat(folder)[stat.ST_MTIME] > STALE_SECONDS:
            shutil.rmtree(folder, ignore_errors=True)


def update_sysfs(before, after):
    """Brings the tree from `before` to `after`, touching only what differs."""
    root = after.get("sysfs")
    if not root:
        return
    store = store_of(root)
    os.makedirs(root, exist_ok=True)
    os.makedirs(store, exist_ok=True)
    old = sysfs_entries(before) if before.get("sysfs") == root else {}
    new = sysfs_entries(after)
    pairs = peers(after)
    buses = {1} | {bus_of(port) for port in new} | {bus for bus, _ in pairs}
    # Most commands change no USB identity: they cost no walk of the tree, under the state's lock.
    if old == new and pairs == peers(before) and all(
            os.path.lexists(os.path.join(root, "usb%d" % bus)) for bus in buses):
        return
    was_used = used_folders(root)
    for bus in sorted(buses):
        write_hub(store, root, bus, pairs)
    for port in old:
        if port not in new:
            remove_device(root, port)
    for port, entry in new.items():
        if old.get(port) != entry or not os.path.lexists(os.path.join(root, port)):
            write_device(store, root, entry)
    remove_stale(store, root, was_used)


# ---------------------------------------------------------------------------------------------
# Faults and bookkeeping shared by the fakes


class Outcome:
    OK, FAIL, HANG, CRASH, VANISH, SILENT = range(6)


FAULT_KNOBS = (("hang_match", Outcome.HANG), ("crash_match", Outcome.CRASH),
               ("vanish_match", Outcome.VANISH), ("fail_match", Outcome.FAIL),
               ("silent_match", Outcome.SILENT))


def matching_fault(faults, words):
    for knob, outcome in FAULT_KNOBS:
        if faults.get(knob) and faults[knob] in words:
            return outcome
    return Outcome.OK


def delay_of(faults, words):
    """Seconds the knobs delay_match and delay_ms add to a command of these words."""
    if faults.get("delay_match") and faults["delay_match"] in words:
        return int(faults.get("delay_ms") or 0) / 1000.0
    return 0.0


def record(path, state, device, program, args):
    """Logs the command, counts it for the device and says which fault, if any, it meets: the
    tool-wide faults first (any command), then the device's (commands addressed to it). Notes the
    delay the command meets, tool-wide or the device's."""
    global pending_delay
    append_log(path, " ".join([program] + args))
    words = " ".join(args)
    pending_delay = max(delay_of(state.get("faults", {}), words),
                        delay_of(device.get("faults", {}) if device else {}, words))
    outcome = matching_fault(state.get("faults", {}), words)
    if outcome == Outcome.OK and device is not None:
        count = count_command(path, device)
        faults = device.get("faults", {})
        outcome = (Outcome.FAIL if str(faults.get("fail_nth", "")) == str(count)
                   else matching_fault(faults, words))
    if outcome == Outcome.VANISH and device is not None:
        device["connected"] = False
    return outcome


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


WAIT_FOR = re.compile(r"^wait-for(?:-(usb|local|any))?-(device|recovery|rescue|sideload|bootloader|disconnect)$")
WAIT_STATES = {"device": ("mos", "cos"), "recovery": ("ros",), "rescue": (), "sideload": (),
               "bootloader": ("pos", "tos")}


def adb(args):
    path = state_path()
    full = list(args)
    serial, args = leading_options(args, flags=("-d", "-e"), valued=("-s", "-P", "-H", "-t"))
    if not args:
        err("adb: usage: no command specified\n")
        return 1
    command, rest = args[0], args[1:]

    if command in ("version", "help"):
        out("Android Debug Bridge version 1.0.41\nVersion 29.0.6-debian\n"
            "Installed as /usr/lib/android-sdk/platform-tools/adb\n")
        if command == "help":
            out("\nglobal options:\n -s SERIAL  use device with given serial (overrides $ANDROID_SERIAL)\n")
        return 0
    if command in ("start-server", "kill-server", "reconnect"):
        return 0
    wait = WAIT_FOR.match(command)
    if wait:
        return adb_wait(path, full, serial, wait.group(2))

    with locked_state(path) as state:
        if command in ("devices", "connect"):
            outcome = record(path, state, None, "adb", full)
            if outcome == Outcome.FAIL:
                err("adb: failed to check server version: cannot connect to daemon\n")
                return 1
            if outcome == Outcome.SILENT:
                return 0
            if outcome == Outcome.OK:
                return adb_devices_command(state, command, rest)
        else:
            candidates = adb_devices(state)
            if serial is None:
                if len(candidates) != 1:
                    record(path, state, None, "adb", full)
                    err("error: more than one device/emulator\n" if candidates
                        else "error: no devices/emulators found\n")
                    return 1
                device = candidates[0]
            else:
                device = next((d for d in candidates if visible_serial(d) == serial), None)
                if device is None:
                    record(path, state, None, "adb", full)
                    err("error: device '%s' not found\n" % serial)
                    return 1
            outcome = record(path, state, device, "adb", full)
            if outcome in (Outcome.FAIL, Outcome.VANISH):
                err("error: closed\n" if outcome == Outcome.FAIL else "error: device offline\n")
                return 1
            if outcome == Outcome.SILENT:
                return 0
            if outcome == Outcome.OK:
                return adb_command(device, command, rest)
    # Hanging or crashing happens outside the lock, so other fakes go on meanwhile.
    hang_or_crash(outcome)
    return 1


def adb_devices_command(state, command, rest):
    if command == "connect":
        address = rest[0] if rest else ""
        if ":" not in address:
            address += ":5555"
        if find_device(state, address) is None:
            out("failed to connect to '%s': Connection refused\n" % address)
        else:
            out("connected to %s\n" % address)
        return 0
    out("List of devices attached\n")
    for device in adb_devices(state):
        line = "%s\t%s" % (visible_serial(device), ADB_STATES[device["state"]])
        if "-l" in rest:
            where = "usb:%s " % usb_port(device) if not device.get("network") else ""
            model = device.get("properties", {}).get("ro.product.model", "Sim")
            line = "%-22s %s %sproduct:sim model:%s device:sim transport_id:%d" % (
                visible_serial(device), ADB_STATES[device["state"]], where,
                model.replace(" ", "_"), state["devices"].index(device) + 1)
        out(line + "\n")
    out("\n")
    return 0


def adb_wait(path, full, serial, wanted):
    """adb wait-for-[TRANSPORT-]STATE: returns once the device (the one -s names, else any) is in
    that state, or gone for "disconnect"; waits for ever otherwise, as adb does."""
    with locked_state(path) as state:
        outcome = record(path, state, find_device(state, serial) if serial else None, "adb", full)
    if outcome in (Outcome.FAIL, Outcome.VANISH):
        err("error: closed\n")
        return 1
    if outcome in (Outcome.HANG, Outcome.CRASH):
        hang_or_crash(outcome)
    while True:
        state = read_state(path)
        pool = connected_in(state, ("pos", "tos")) if wanted == "bootloader" else adb_devices(state)
        present = [d for d in pool if serial is None or visible_serial(d) == serial]
        if wanted == "disconnect":
            if not present:
                return 0
        elif any(d["state"] in WAIT_STATES[wanted] for d in present):
            return 0
        time.sleep(0.1)


def battery_report(device):
    """What `dumpsys battery` prints; without the device's battery knob there is no level line."""
    lines = ["Current Battery Service state:", "  AC powered: false", "  USB powered: true",
             "  Wireless powered: false", "  Max charging current: 500000", "  status: 2",
             "  health: 2", "  present: true"]
    if device.get("battery", "") != "":
        lines.append("  level: %s" % device["battery"])
    lines += ["  scale: 100", "  voltage: 4200", "  temperature: 250", "  technology: Li-ion"]
    return "".join(line + "\n" for line in lines)


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
        if words[:2] == ["getprop", BACKUP_STATUS]:
            out(backup_status_read(device) + "\n")
            return 0
        if words[:1] == ["setprop"] and len(words) == 3:
            if words[1] != BACKUP_STATUS or not knob(device, "no_backup_status"):
                device.setdefault("properties", {})[words[1]] = words[2]
            return 0
        if words[:1] == ["mount"]:
            return factory_mount(device, words[1:])
        if words[:1] == ["getprop"]:
            if len(words) > 1:
                out(properties.get(words[1], "") + "\n")
            else:
                for key in sorted(properties):
                    out("[%s]: [%s]\n" % (key, properties[key]))
            return 0
        if words[:2] == ["dumpsys", "battery"]:
            out(battery_report(device))
            return 0
        if words[:1] == ["echo"]:
            out(" ".join(words[1:]) + "\n")
            return 0
        if words[:1] == ["exit"] and len(words) > 1:
            return int(words[1])
        return 0
    if command == "backup":
        return adb_backup(device, rest)
    if command == "restore":
        return adb_restore(device, rest)
    if command == "pull":
        return adb_pull(device, rest)
    if command == "push" and len(rest) == 2 and os.path.isdir(rest[0]):
        return adb_push_folder(device, rest[0], rest[1])
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
    if command in ("root", "remount", "disable-verity", "sync"):
        return 0
    err("adb: unknown command %s\n" % command)
    return 1


# Android backup and restore. Knobs (device faults): backup_bytes, the size of the archive that
# backup writes (1024 unless set; 0 writes an empty file); backup_status, the answers of the reads
# of sys.backup_status after a backup or restore, comma-separated, the last one kept ("completed"
# unless set); no_backup_status, a device whose setprop of that property has no effect.
BACKUP_STATUS = "sys.backup_status"


def knob(device, name, default=""):
    return str(device.get("faults", {}).get(name, default))


def backup_status_read(device):
    """The next answer queued by the last backup or restore, else the property's value."""
    queue = device.get("status_queue", [])
    if queue:
        value = queue.pop(0) if len(queue) > 1 else queue[0]
        device.setdefault("properties", {})[BACKUP_STATUS] = value
        return value
    return device.get("properties", {}).get(BACKUP_STATUS, "")


def queue_backup_status(device):
    if knob(device, "no_backup_status"):
        return
    device["status_queue"] = knob(device, "backup_status", "completed").split(",")


def adb_backup(device, rest):
    out("WARNING: adb backup is deprecated and may be removed in a future release\n")
    if "-f" not in rest or rest.index("-f") + 1 >= len(rest):
        target = "backup.ab"
    else:
        target = rest[rest.index("-f") + 1]
    try:
        with open(target, "wb") as f:
            f.write(b"\0" * int(knob(device, "backup_bytes", "1024") or 0))
    except OSError as error:
        err("adb: backup unable to create file '%s': %s\n" % (target, error.strerror))
        return 1
    device["backup"] = {"file": os.path.abspath(target), "options": [w for w in rest if w.startswith("-") and w != "-f"]}
    queue_backup_status(device)
    out("Now unlock your device and confirm the backup operation...\n")
    return 0


def adb_restore(device, rest):
    out("WARNING: adb restore is deprecated and may be removed in a future release\n")
    if len(rest) != 1:
        err("adb: restore requires an argument\n")
        return 1
    if not os.path.isfile(rest[0]):
        err("adb: unable to open file %s: No such file or directory\n" % rest[0])
        return 255
    device["restored"] = digest(rest[0])
    queue_backup_status(device)
    out("Now unlock your device and confirm the restore operation.\n")
    return 0


def adb_pull(device, rest):
    """pull of the device's /factory folder (the files pushed there) into a host folder."""
    if len(rest) != 2 or rest[0].rstrip("/") != "/factory":
        err("adb: error: failed to stat remote object '%s': No such file or directory\n" % (rest[0] if rest else ""))
        return 1
    target = rest[1]
    if os.path.isdir(target):
        target = os.path.join(target, "factory")
    factory = device.get("factory", {"calibration.bin": "sim factory data\n"})
    size = 0
    for name, content in factory.items():
        path = os.path.join(target, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(content)
        size += len(content.encode())
    out("/factory/: %d files pulled, 0 skipped. 0.1 MB/s (%d bytes in 0.010s)\n" % (len(factory), size))
    return 0


def factory_mount(device, words):
    if words[:1] == ["-o"] and len(words) == 3 and words[2] == "/factory":
        device["factory_mount"] = words[1].split(",")[-1]
    return 0


def adb_push_folder(device, folder, remote):
    """push of a host folder onto /factory: allowed only while it is mounted read-write."""
    if remote.rstrip("/") != "/factory" or device.get("factory_mount") != "rw":
        err("adb: error: failed to copy '%s' to '%s': remote Read-only file system\n" % (folder, remote))
        return 1
    factory = {}
    for top, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(top, name)
            with open(path, errors="replace") as f:
                factory[os.path.relpath(path, folder)] = f.read()
    device["factory"] = factory
    out("%s/: %d files pushed, 0 skipped. 0.1 MB/s (%d bytes in 0.010s)\n"
        % (folder.rstrip("/"), len(factory), sum(len(v.encode()) for v in factory.values())))
    return 0


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
    if args[0] in ("help", "-h", "--help"):
        # The real usage text goes to standard output, with exit code 0.
        out("usage: fastboot [OPTION...] COMMAND...\n\nflashing:\n"
            " flash PARTITION [FILENAME] Flash given partition, using the image from\n"
            "                            $ANDROID_PRODUCT_OUT if no filename is given.\n")
        return 0
    if args[0] == "devices":
        with locked_state(path) as state:
            outcome = record(path, state, None, "fastboot", full)
            if outcome == Outcome.FAIL:
                err("fastboot: error: cannot list devices\n")
                return 1
            if outcome == Outcome.SILENT:
                return 0
            if outcome == Outcome.OK:
                for device in fastboot_devices(state):
                    if device.get("network"):
                        continue
                    if "-l" in args:
                        out("%-22s fastboot usb:%s\n" % (visible_serial(device), usb_port(device)))
                    else:
                        out("%s\tfastboot\n" % visible_serial(device))
                return 0
        hang_or_crash(outcome)
        return 1

    waited = False
    outcome = None
    while True:
        with locked_state(path) as state:
            device = fastboot_target(state, serial)
            if device is not None:
                # A device back after vanishing takes the command it was sent, as fastboot's does.
                outcome = record(path, state, device, "fastboot", full) if outcome is None else Outcome.OK
                if outcome == Outcome.OK:
                    return fastboot_command(device, args)
                if outcome == Outcome.SILENT:
                    return 0
                if outcome == Outcome.FAIL:
                    err("%-50s FAILED (remote: 'simulated failure')\nfastboot: error: Command failed\n"
                        % " ".join(args))
                    return 1
                if outcome != Outcome.VANISH:
                    break
            # The device is not there (it vanished: record() unplugged it): wait for it.
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


DFU_BANNER = ("dfu-util 0.11\n\n"
              "Copyright 2005-2009 Weston Schmidt, Harald Welte and OpenMoko Inc.\n"
              "Copyright 2010-2021 Tormod Volden and Stefan Schmidt\n"
              "This program is Free Software and has ABSOLUTELY NO WARRANTY\n"
              "Please report bugs to http://sourceforge.net/p/dfu-util/tickets/\n\n")
DFU_VALUED = {"-d": "device", "-p": "path", "-S": "serial", "-D": "download", "-U": "upload",
              "-a": "alt", "-c": "cfg", "-i": "intf", "-n": "devnum", "-t": "transfer-size",
              "-s": "dfuse-address", "-Z": "upload-size", "-E": "detach-delay"}
DFU_FLAGS = {"-l": "list", "-V": "version", "-h": "help", "-R": "reset", "-e": "detach",
             "-w": "wait", "-v": "verbose"}
DFU_TRANSFER_SIZE = 2048
DFU_PROGRESS_WIDTH = 25
EX_USAGE, EX_NOINPUT, EX_IOERR = 64, 66, 74


def dfu_options(args):
    """dfu-util's options by short name ("-D": path, "-l": True); None after a usage error."""
    long_names = {name: short for short, name in list(DFU_VALUED.items()) + list(DFU_FLAGS.items())}
    options = {}
    args = list(args)
    while args:
        word = args.pop(0)
        value = None
        if word.startswith("--"):
            name, _, value = word[2:].partition("=")
            word = long_names.get(name, word)
            value = value or None
        if word in DFU_FLAGS:
            options[word] = True
        elif word in DFU_VALUED:
            if value is None:
                if not args:
                    err("dfu-util: option requires an argument -- '%s'\n" % word[1])
                    return None
                value = args.pop(0)
            options[word] = value
    return options


def dfu_matches(device, vendor_product, options):
    if "-d" in options:
        pairs = [pair.split(":") for pair in options["-d"].split(",")]
        if not any(pair == list(vendor_product) for pair in pairs):
            return False
    if "-S" in options and device["serial"] not in options["-S"].split(","):
        return False
    return "-p" not in options or options["-p"] == usb_port(device)


def dfu_suffix_warnings(image):
    with open(image, "rb") as f:
        data = f.read()
    # The suffix ends a file: ..., "UFD" signature, length 16, CRC (4 bytes).
    if len(data) < 16:
        err("dfu-util: Warning: File too short for DFU suffix\n")
    elif data[-8:-5] != b"UFD":
        err("dfu-util: Warning: Invalid DFU suffix signature\n")
    else:
        return
    err("dfu-util: A valid DFU suffix will be required in a future dfu-util release\n")


def dfu_progress(size):
    """dfu-util's progress bar: redrawn with a carriage return whenever it grows."""
    size = max(size, 1)
    shown = -1
    for sent in list(range(0, size, DFU_TRANSFER_SIZE)) + [size]:
        filled = DFU_PROGRESS_WIDTH * sent // size
        if filled == shown:
            continue
        shown = filled
        out("\rDownload\t[%s] %3d%% %12d bytes"
            % ("=" * filled + " " * (DFU_PROGRESS_WIDTH - filled), 100 * sent // size, sent))
    out("\nDownload done.\n")


def dfu_util(args):
    path = state_path()
    options = dfu_options(args)
    if options is None:
        return EX_USAGE
    if "-h" in options:
        err("Usage: dfu-util [options] ...\n")
        return 0
    out(DFU_BANNER)
    if "-V" in options:
        return 0
    listing = "-l" in options
    if not listing and "-D" not in options and "-U" not in options and "-e" not in options:
        err("You need to specify one of -D or -U\nUsage: dfu-util [options] ...\n")
        return EX_USAGE
    image = options.get("-D")
    if image is not None:
        if not os.path.isfile(image):
            err("dfu-util: Could not open file %s for reading: No such file or directory\n" % image)
            return EX_NOINPUT
        dfu_suffix_warnings(image)
    with locked_state(path) as state:
        if listing:
            record(path, state, None, "dfu-util", args)
            for device in connected_in(state, ("dfu", "kbd")):
                ids = DFU_ID if device["state"] == "dfu" else KEYBOARD_ID
                if dfu_matches(device, ids, options):
                    out('Found %s: [%s:%s] ver=0200, devnum=2, cfg=1, intf=%d, path="%s", alt=0, '
                        'name="%s", serial="%s"\n'
                        % ("DFU" if device["state"] == "dfu" else "Runtime", ids[0], ids[1],
                           0 if device["state"] == "dfu" else 1, usb_port(device),
                           "@Internal Flash" if device["state"] == "dfu" else "UNKNOWN",
                           device["serial"]))
            return 0
        device = next((d for d in connected_in(state, ("dfu",)) if dfu_matches(d, DFU_ID, options)), None)
        if device is None:
            record(path, state, None, "dfu-util", args)
            err("dfu-util: No DFU capable USB device available\n")
            return EX_IOERR
        outcome = record(path, state, device, "dfu-util", args)
        if outcome in (Outcome.FAIL, Outcome.VANISH):
            out("Opening DFU capable USB device...\n")
            err("dfu-util: Error during download\n")
            return EX_IOERR
        if outcome == Outcome.SILENT:
            return 0
        if outcome == Outcome.OK:
            return dfu_transfer(device, options)
    hang_or_crash(outcome)
    return 1


def dfu_transfer(device, options):
    out("Opening DFU capable USB device...\nDevice ID %s:%s\nDevice DFU version 0110\n"
        "Claiming USB DFU Interface...\nSetting Alternate Interface #%s ...\n"
        "Determining device status...\n"
        "DFU state(2) = dfuIDLE, status(0) = No error condition is present\n"
        "DFU mode device DFU version 0110\nDevice returned transfer size %d\n"
        % (DFU_ID[0], DFU_ID[1], options.get("-a", "0"), DFU_TRANSFER_SIZE))
    if "-D" in options:
        image = options["-D"]
        out("Copying data from PC to DFU device\n")
        dfu_progress(os.path.getsize(image))
        out("DFU state(7) = dfuMANIFEST, status(0) = No error condition is present\n"
            "DFU state(2) = dfuIDLE, status(0) = No error condition is present\nDone!\n")
        # Each alternate setting is a partition of its own; "dfu" keeps the last download.
        partitions = device.setdefault("partitions", {})
        partitions["dfu"] = partitions["dfu:%s" % options.get("-a", "0")] = digest(image)
    elif "-U" in options:
        stored = device.get("partitions", {}).get("dfu", "")
        with open(options["-U"], "w") as f:
            f.write(stored)
        out("Copying data from DFU device to PC\n")
        dfu_progress(len(stored))
        out("Received a total of %d bytes\nDone!\n" % len(stored))
    if "-R" in options:
        out("Resetting USB to switch back to Run-Time mode\n")
        reboot(device, "mos")
    return 0


def dravik_flash_tool(args):
    path = state_path()
    with locked_state(path) as state:
        devices = connected_in(state, ("dnx_fw",))
        device = devices[0] if devices else None
        outcome = record(path, state, device, "dravikFlashTool", args)
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
    parser.add_argument("action", choices=["init", "add", "set", "unplug", "plug", "show", "log", "pids"])
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
    parser.add_argument("--superspeed-port")
    parser.add_argument("--superspeed-states")
    parser.add_argument("--times", action="store_true")
    parser.add_argument("--battery", help="level that dumpsys battery reports; empty: none")
    options = parser.parse_args(argv)
    path = state_path(options.state)

    if options.action == "init":
        state = {"sysfs": os.path.abspath(options.sysfs) if options.sysfs else "",
                 "faults": {}, "devices": []}
        if state["sysfs"]:
            shutil.rmtree(state["sysfs"], ignore_errors=True)
            shutil.rmtree(store_of(state["sysfs"]), ignore_errors=True)
        with open(path, "w") as f:
            json.dump(state, f)
        for journal in (log_path(path), path + ".counts", pids_path(path)):
            if os.path.exists(journal):
                os.unlink(journal)
        update_sysfs({"devices": []}, state)
        return 0
    if options.action in ("show", "log", "pids"):
        state = read_state(path)
        if options.action == "show":
            state["log"] = read_log(path)
            state["tools"] = [{"pid": pid, "program": program} for pid, program in read_pids(path)]
            counts = read_counts(path)
            for device in state["devices"]:
                device["commands"] = counts.get(device["serial"], 0)
            out(json.dumps(state, indent=1, sort_keys=True) + "\n")
        elif options.action == "log":
            out("".join(line + "\n" for line in read_log(path, options.times)))
        else:
            out("".join("%d %s\n" % entry for entry in read_pids(path)))
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
                "partitions": {}, "files": {}, "faults": key_values(options.fault),
                "superspeed_port": options.superspeed_port or "",
                "battery": options.battery or "",
                "superspeed_states": (options.superspeed_states or "").split(",")
                if options.superspeed_states else [],
            })
            return 0
        if options.action == "set" and not options.serial:
            # Tool-wide faults: they meet every command of the fakes, whichever device it is for.
            state.setdefault("faults", {}).update(key_values(options.fault))
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
            if options.battery is not None:
                device["battery"] = options.battery
        else:
            device["connected"] = options.action == "plug"
    return 0


# ---------------------------------------------------------------------------------------------
# Server: the fakes without a Python start-up per call. The compiled client (qlnsimclient.c),
# installed as adb, fastboot, dfu-util and dravikFlashTool, sends its call here: a header of four
# bytes (the length of the rest, native order) with its standard input, output and error attached
# (SCM_RIGHTS), then NUL-terminated fields: pid, working folder, argument count, the arguments
# (argv[0] first), the environment. Each call runs main() in a child forked from this loaded
# interpreter; the client gets "exit N\n" or "signal N\n" back. A client that hangs up (killed on a
# time-out or cancel) has its call killed at once.


class Call:
    """One client's call: its connection and the child that runs it."""

    def __init__(self, connection, pid):
        self.connection = connection
        self.pid = pid
        self.pidfd = os.pidfd_open(pid)

    def close_connection(self, selector):
        if self.connection is not None:
            selector.unregister(self.connection)
            self.connection.close()
            self.connection = None


def read_call(connection):
    """(fds, fields) of a client's call; None when it came incomplete (its fds are closed)."""
    fds = []
    try:
        data, fds, _, _ = socket.recv_fds(connection, 65536, 3)
        while data and len(data) < 4 + int.from_bytes(data[:4].ljust(4, b"\0"), sys.byteorder):
            more = connection.recv(65536)
            data = data + more if more else b""
    except OSError:
        data = b""
    if len(fds) != 3 or not data:
        for fd in fds:
            os.close(fd)
        return None
    return fds, [os.fsdecode(field) for field in data[4:].split(b"\0")[:-1]]


def exit_status(run):
    """What the interpreter would exit with after run(), as `python3 qlnsim.py` does."""
    try:
        code = run()
    except SystemExit as stop:
        code = stop.code
    except KeyboardInterrupt:
        traceback.print_exc()
        sys.stderr.flush()
        signal.signal(signal.SIGINT, signal.SIG_DFL)
        os.kill(os.getpid(), signal.SIGINT)
        return 1
    except BaseException:
        traceback.print_exc()
        return 1
    if code is None:
        return 0
    if isinstance(code, int):
        return code & 0xff
    err("%s\n" % code)
    return 1


def standard_stream(stream, fd, mode, line_buffering, write_through):
    """A text stream over `fd` with the encoding of the interpreter's `stream`."""
    raw = io.FileIO(fd, mode, closefd=False)
    binary = io.BufferedReader(raw) if mode == "r" else io.BufferedWriter(raw)
    return io.TextIOWrapper(binary, encoding=stream.encoding, errors=stream.errors,
                            line_buffering=line_buffering, write_through=write_through)


def run_call(fds, fields):
    """In the forked child: becomes the client's fake (its fds, environment, working folder and
    arguments) and runs main(); never returns."""
    global caller_pid
    signal.signal(signal.SIGTERM, signal.SIG_DFL)
    signal.signal(signal.SIGINT, signal.default_int_handler)
    for target, fd in enumerate(fds):
        os.dup2(fd, target)
    # Nothing of the server's (listener, other calls' connections and fds) stays open in a call.
    os.closerange(3, os.sysconf("SC_OPEN_MAX"))
    pid, folder, count = fields[:3]
    caller_pid = int(pid)
    sys.argv = fields[3:3 + int(count)]
    os.environ.clear()
    os.environ.update(entry.partition("=")[::2] for entry in fields[3 + int(count):])
    if folder:
        os.chdir(folder)
    # Standard streams over the client's fds, buffered as an interpreter of its own buffers them.
    unbuffered = bool(os.environ.get("PYTHONUNBUFFERED"))
    sys.stdin = standard_stream(sys.stdin, 0, "r", False, False)
    sys.stdout = standard_stream(sys.stdout, 1, "w", os.isatty(1), unbuffered)
    sys.stderr = standard_stream(sys.stderr, 2, "w", True, unbuffered)
    status = exit_status(main)
    for stream in (sys.stdout, sys.stderr):
        try:
            stream.flush()
        except OSError:
            pass
    os._exit(status)


class CallServer:
    """Accepts the clients at `path` and runs each call in a child of its own. It ends on SIGTERM
    or when its standard input closes (the process that started it is gone), killing the calls
    still running."""

    def __init__(self, path):
        self.path = path
        if os.path.exists(path):
            os.unlink(path)
        self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.listener.bind(path)
        self.listener.listen(128)
        self.selector = selectors.DefaultSelector()
        self.selector.register(self.listener, selectors.EVENT_READ, self.accept)
        self.selector.register(sys.stdin, selectors.EVENT_READ, self.on_parent_gone)
        self.calls = []

    def run(self):
        signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(0))
        out("ready\n")
        sys.stdout.flush()
        try:
            while True:
                for key, _ in self.selector.select():
                    key.data(key.fileobj)
        finally:
            with contextlib.suppress(FileNotFoundError):
                os.unlink(self.path)
            for call in self.calls:
                os.kill(call.pid, signal.SIGKILL)
                os.waitpid(call.pid, 0)

    def on_parent_gone(self, stdin):
        if not os.read(stdin.fileno(), 4096):
            sys.exit(0)

    def accept(self, listener):
        connection, _ = listener.accept()
        connection.settimeout(5)
        call = read_call(connection)
        if call is None:
            connection.close()
            return
        fds, fields = call
        pid = os.fork()
        if pid == 0:
            run_call(fds, fields)
        for fd in fds:
            os.close(fd)
        call = Call(connection, pid)
        self.calls.append(call)
        self.selector.register(connection, selectors.EVENT_READ, lambda _: self.on_hang_up(call))
        self.selector.register(call.pidfd, selectors.EVENT_READ, lambda _: self.on_exit(call))

    # A call's two events may come in one batch: each handler does nothing once the call is over.

    def on_hang_up(self, call):
        # The client sends nothing after its call: anything readable is its end.
        if call.connection is None:
            return
        call.close_connection(self.selector)
        os.kill(call.pid, signal.SIGKILL)

    def on_exit(self, call):
        if call not in self.calls:
            return
        _, status = os.waitpid(call.pid, 0)
        self.selector.unregister(call.pidfd)
        os.close(call.pidfd)
        self.calls.remove(call)
        if call.connection is not None:
            report = ("signal %d\n" % os.WTERMSIG(status) if os.WIFSIGNALED(status)
                      else "exit %d\n" % os.WEXITSTATUS(status))
            try:
                call.connection.sendall(report.encode())
            except OSError:
                pass
            call.close_connection(self.selector)


def serve(argv):
    parser = argparse.ArgumentParser(prog="qlnsim.py serve")
    parser.add_argument("--socket", required=True)
    CallServer(parser.parse_args(argv).socket).run()
    return 0


PROGRAMS = {"adb": adb, "fastboot": fastboot, "dfu-util": dfu_util,
            "dravikFlashTool": dravik_flash_tool}


def main():
    global started
    name = os.path.basename(sys.argv[0])
    if len(sys.argv) > 1 and sys.argv[1] == "ctl":
        return control(sys.argv[2:])
    if len(sys.argv) > 1 and sys.argv[1] == "serve":
        return serve(sys.argv[2:])
    args = sys.argv[1:]
    if name not in PROGRAMS and args and args[0] in PROGRAMS:
        name, args = args[0], args[1:]
    if name in PROGRAMS:
        started = time.time()
        note_pid(state_path(), name)
        status = PROGRAMS[name](args)
        # A slow command (a large image over USB) takes its time outside the state's lock.
        sys.stdout.flush()
        sys.stderr.flush()
        time.sleep(pending_delay)
        return status
    sys.stderr.write("usage: qlnsim.py ctl ACTION ... | qlnsim.py serve --socket PATH | qlnsim.py PROGRAM ARGS...\n")
    return 2


if __name__ == "__main__":
    sys.exit(main())
