# SPDX-License-Identifier: MIT
"""The desktop program end to end, read as a screen reader reads it: corvel-utility runs on the
simulated powerline network (inside the namespaces of scripts/netns), on an Xvfb display, with the
accessibility bus of a private D-Bus session. The test waits until the Main page lists the
simulated AV stations with their rates, reads the whole page through AT-SPI, saves a picture of
every page, checks that a second copy is refused with "Attention!" while the first keeps running,
and closes the program with its Close button.

With --station-view MAC the station MAC is opened from the Main list by a double click and its
view read: both rates, the rate chart's and the tone map's descriptions; a picture of it is saved
beside the pages' (--shots). Then the view's "Restart Device…" is answered
Yes, and the test waits for "answers again"; a capture on the host interface must hold the reset
request to the station and the simulator's confirmation from it.

With --bench it prints the time from start to the first filled station list and the resident
memory of the running program, then again with the first station's view and its charts open,
instead of saving pictures.

With --first-as and --second-as (USER:GROUP:GROUPS:HOME, numbers) the first copy and the second
run as those users, both members of group corvel, as on a machine two people share: the second is
refused while the first runs (the shared data directory's lock, opened by both as the package
made it, whatever fs.protected_regular says).

With --qt-plugins DIR the program is started as a user could start it to steal its privileges:
QT_PLUGIN_PATH names DIR and QT_STYLE_OVERRIDE its style plugin "capprobe", which writes the
CapEff line of every process that loads it to a file; the test then requires that the program
held no capability, that it captured through its corvel-capture child holding cap_net_raw and
cap_net_admin only, and (with --privacy-name NAME) that a network name set on the local device
through the Privacy page was confirmed."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xwd_png import xwd_to_png  # noqa: E402

DUMP = None  # the application whose tree a failure prints
RATE = re.compile(r"^[1-9][0-9]*\.[0-9]{2}$")
MAC = re.compile(r"^([0-9A-F]{2}:){5}[0-9A-F]{2}$")


def fail(message):
    print("gui_e2e: FAIL: " + message, flush=True)
    if DUMP is not None:
        for node in walk(DUMP):
            try:
                print("  %s %r" % (node.getRoleName(), node.name))
            except Exception:
                pass
    sys.exit(1)


def wait_for(what, probe, timeout):
    end = time.monotonic() + timeout
    last_error = ""
    while time.monotonic() < end:
        try:
            value = probe()
        except Exception as error:  # a node the page replaced while we read it: read again
            value, last_error = None, " (last read: %s)" % error
        if value:
            return value
        time.sleep(0.1)
    fail("timed out waiting for " + what + last_error)


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    try:
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:  # a node that went away while we read
        return
    for child in children:
        yield from walk(child, depth + 1)


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def find(root, role, name=None):
    for node in walk(root):
        try:
            if node.getRole() == role and (name is None or node.name == name):
                return node
        except Exception:
            continue
    return None


def children(node, role):
    found = (node.getChildAtIndex(i) for i in range(node.childCount))
    return [c for c in found if c is not None and c.getRole() == role]


def column_titles(table):
    return [h.name for h in children(table, pyatspi.ROLE_TABLE_COLUMN_HEADER)]


# The cells as the list exposes them to a screen reader, row by row.
def table_rows(table):
    width = len(column_titles(table))
    cells = [c.name for c in children(table, pyatspi.ROLE_TABLE_CELL)]
    return [cells[i : i + width] for i in range(0, len(cells), width)] if width else []


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click", "SetFocus", "Toggle"):
            action.doAction(i)
            return
    action.doAction(0)


def station_table(app):
    table = find(app, pyatspi.ROLE_TABLE, "Additional devices found on the network")
    if table is None:
        return None
    rows = table_rows(table)
    return (table, rows) if rows and all(r for r in rows) else None


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def check_main_page(app, title, expected_stations):
    sheet = find(app, pyatspi.ROLE_DIALOG, title) or find(app, pyatspi.ROLE_FRAME, title)
    if sheet is None:
        fail("no window captioned %r" % title)
    tab_list = find(app, pyatspi.ROLE_PAGE_TAB_LIST)
    tabs = [t for t in (tab_list.getChildAtIndex(i) for i in range(tab_list.childCount))
            if t.getRole() == pyatspi.ROLE_PAGE_TAB]
    names = [t.name for t in tabs]
    print("tabs:", names)
    if names[:1] != ["Main"] or names[-1:] != ["About"] or "Privacy" not in names:
        fail("unexpected tabs %r" % names)

    table, rows = wait_for("the filled station list", lambda: station_table(app), 20)
    titles = column_titles(table)
    print("columns:", titles)
    local = find(app, pyatspi.ROLE_TREE, "Powerline device detected")
    if local is None:
        fail("no local device list")
    local_rows = table_rows(local)
    print("local:", local_rows)
    if not local_rows or local_rows[0][0] != "HomePlug AV Device" or not MAC.match(local_rows[0][1]):
        fail("the local AV device is not listed: %r" % local_rows)
    cells = [dict(zip(titles, row)) for row in rows]
    for row in cells:
        print("station:", row)
    macs = {row["MAC Address"] for row in cells}
    missing = expected_stations - macs
    if missing:
        fail("stations not listed: %r" % sorted(missing))
    for row in cells:
        if not RATE.match(row["Rate (Mbps)"]):
            fail("no rate for %s: %r" % (row["MAC Address"], row["Rate (Mbps)"]))
        if not row["Device Name"] or not row["Quality"]:
            fail("name or quality missing: %r" % row)

    labels = {n.name for n in walk(app) if n.getRole() == pyatspi.ROLE_LABEL}
    for text in ("Connected to HomePlug AV Device",):
        if text not in labels:
            fail("label %r not read; labels: %r" % (text, sorted(labels)))
    if not any(l.startswith("Network Type: ") for l in labels):
        fail("no network type label")
    print("labels:", sorted(l for l in labels if l.strip()))
    return tabs


def screenshots(app, title, tabs, fbdir, shots):
    """A picture of each page, the window alone."""
    os.makedirs(shots, exist_ok=True)
    sheet = find(app, pyatspi.ROLE_DIALOG, title) or find(app, pyatspi.ROLE_FRAME, title)
    extents = sheet.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    # The bus speaks in the program's own pixels; the screen's are QT_SCALE_FACTOR times as many.
    scale = float(os.environ.get("QT_SCALE_FACTOR", "1") or 1)
    box = tuple(round(v * scale) for v in (extents.x, extents.y, extents.width, extents.height))
    try:  # the pointer off the window, so that it covers nothing in the pictures
        pyatspi.Registry.generateMouseEvent(0, 0, pyatspi.MOUSE_ABS)
    except Exception:
        pass
    for i, tab in enumerate(tabs):
        press(tab)
        time.sleep(1.0)
        path = os.path.join(shots, "gui-%d-%s.png" % (i + 1, tab.name.lower()))
        xwd_to_png(os.path.join(fbdir, "Xvfb_screen0"), path, box)
        print("screenshot:", path)
    press(tabs[0])
    time.sleep(0.5)


def run_as(spec, argv, env):
    """The command and environment for another user: USER:GROUP:GROUPS:HOME, all numbers but the
    home; no capability inherited, the user's own home and settings."""
    if not spec:
        return argv, env
    user, group, groups, home = spec.split(":", 3)
    env = dict(env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_RUNTIME_DIR=home)
    return ["setpriv", "--reuid=" + user, "--regid=" + group, "--groups=" + groups,
            "--inh-caps=-all"] + argv, env


def screen_box(node):
    """A node's place on the screen in the screen's pixels (QT_SCALE_FACTOR times the bus's)."""
    extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    scale = float(os.environ.get("QT_SCALE_FACTOR", "1") or 1)
    return tuple(round(v * scale) for v in (extents.x, extents.y, extents.width, extents.height))


def click(node, how):
    """A mouse click at the middle of a node, through the bus: "b1d" double, "b3c" right."""
    x, y, width, height = screen_box(node)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, how)


def station_cell(app, mac):
    table = find(app, pyatspi.ROLE_TABLE, "Additional devices found on the network")
    for c in children(table, pyatspi.ROLE_TABLE_CELL):
        if c.name == mac:
            return c
    return None


def labels_of(root):
    return {n.name for n in walk(root) if n.getRole() == pyatspi.ROLE_LABEL}


def open_station_view(app, mac):
    """Double click on the station's row; its view once the tone map has been read."""
    click(wait_for("the station's row", lambda: station_cell(app, mac), 10), "b1d")
    view = wait_for("the station view", lambda: find(app, pyatspi.ROLE_DIALOG, "Station " + mac), 20)
    chart = wait_for("the tone map read", lambda: (lambda n: n if n is not None and
                     n.description.startswith("Transmit tone map") else None)(
                     find(view, pyatspi.ROLE_UNKNOWN, "Tone map") or
                     next((n for n in walk(view) if n.name == "Tone map" and n.description), None)), 30)
    return view, chart


def first_station_mac(table):
    """The MAC of the list's first station, as its cells read."""
    return next(c for row in table_rows(table) for c in row if MAC.match(c))


def read_station_view(app, mac, fbdir, shots):
    """Double click on the station's row opens its view: both rates, the charts described."""
    view, chart = open_station_view(app, mac)
    rates = next((n for n in walk(view) if n.name == "PHY rate history" and n.description), None)
    labels = labels_of(view)
    print("station view labels:", sorted(l for l in labels if l.strip()))
    for field in ("Transmit rate", "Receive rate"):
        if not any(re.match(r"^%s: [1-9][0-9]* Mbit/s$" % field, l) for l in labels):
            fail("the view shows no %s: %r" % (field.lower(), sorted(labels)))
    if rates is None or not rates.description.startswith("Transmit: current "):
        fail("the rate chart is not described: %r" % (rates and rates.description))
    if not re.search(r"[1-9][0-9]* of 1155 carriers in use, mean [0-9.]+ bits", chart.description):
        fail("the tone map chart says %r" % chart.description)
    print("rate chart:", rates.description)
    print("tone map chart:", chart.description)
    if shots:
        time.sleep(1.0)
        path = os.path.join(shots, "gui-station-view.png")
        xwd_to_png(os.path.join(fbdir, "Xvfb_screen0"), path, screen_box(view))
        print("screenshot:", path)


def restart_station(app, mac, interface="host0"):
    """Restart Device… from the station's view, Yes, and the wait until it is back;
    the wire holds the request and the simulator's confirmation."""
    pcap = tempfile.mktemp(suffix=".pcap", prefix="corvel-restart-")
    tshark = subprocess.Popen(["tshark", "-q", "-i", interface, "-f", "ether proto 0x88e1",
                               "-w", pcap], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    time.sleep(2)  # tshark opens the interface
    try:
        view = wait_for("the station view", lambda: find(app, pyatspi.ROLE_DIALOG, "Station " + mac), 10)
        item = find(view, pyatspi.ROLE_PUSH_BUTTON, "Restart Device\u2026")
        press(item)
        box = wait_for("the question", lambda: find(app, pyatspi.ROLE_ALERT), 10)
        texts = {n.name for n in walk(box)} | {box.description}
        wanted = "Restart the station %s? Its links are down until it is back." % mac
        if box.name != "Restart Device" or wanted not in texts:
            fail("restart question %r with %r" % (box.name, texts))
        press(find(box, pyatspi.ROLE_PUSH_BUTTON, "&Yes") or find(box, pyatspi.ROLE_PUSH_BUTTON, "Yes"))
        done = wait_for("the station back", lambda: (lambda b: b if b is not None and
                        b.name == "Restart Device" and any("answers again" in t for t in
                        {n.name for n in walk(b)} | {b.description}) else None)(
                        find(app, pyatspi.ROLE_ALERT)), 90)
        said = [t for t in {n.name for n in walk(done)} | {done.description} if "answers again" in t]
        print("restart:", said[0])
        press(find(done, pyatspi.ROLE_PUSH_BUTTON, "OK") or find(done, pyatspi.ROLE_PUSH_BUTTON, "&OK"))
        press(find(view, pyatspi.ROLE_PUSH_BUTTON, "Close"))
    finally:
        time.sleep(0.5)
        tshark.terminate()
        tshark.wait(timeout=20)
    # The message type by its bytes (little-endian after the version byte): this dissector names
    # the vendor's reset messages by no field of their own.
    frames = []
    for mmtype in ("1c:a0", "1d:a0"):
        frames += [line + "\t" + mmtype for line in subprocess.run(
            ["tshark", "-r", pcap, "-Y", "eth.type == 0x88e1 && frame[15:2] == " + mmtype,
             "-T", "fields", "-e", "eth.src", "-e", "eth.dst"],
            capture_output=True, text=True).stdout.split("\n") if line.strip()]
    print("frames captured:", subprocess.run(["tshark", "-r", pcap], capture_output=True,
                                             text=True).stdout.count("\n"))
    os.unlink(pcap)
    rows = [f.split("\t") for f in frames if f.strip()]
    print("reset frames on the wire:", rows)
    low = mac.lower()
    if not any(r[1] == low and r[2] == "1c:a0" for r in rows):
        fail("no reset request to %s on the wire" % mac)
    if not any(r[0] == low and r[2] == "1d:a0" for r in rows):
        fail("no reset confirmation from the simulated %s" % mac)


def second_copy_refused(program, env, first, title, second_as=None):
    argv, env = run_as(second_as, [program], env)
    second = subprocess.Popen(argv, env=env)
    box = wait_for("the refusal of the second copy",
                   lambda: find(application(second.pid), pyatspi.ROLE_ALERT)
                   if application(second.pid) else None, 20)
    texts = {n.name for n in walk(box)}
    wanted = "%s is already running.\nOnly one copy can run at a time." % title
    if box.name != "Attention!" or wanted not in texts | {box.description}:
        fail("refusal box %r with %r" % (box.name, texts))
    press(find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"))
    if second.wait(timeout=20) != 0:
        fail("the refused copy exited with %d" % second.returncode)
    if first.poll() is not None:
        fail("the running copy ended when the second was refused")
    who = " by uid %s" % second_as.split(":")[0] if second_as else ""
    print("second copy%s: refused with Attention!, exit 0" % who)


def text_field(app, name):
    for node in walk(app):
        try:
            if node.name == name and node.queryEditableText() is not None:
                return node
        except NotImplementedError:
            continue
        except Exception:
            continue
    return None


def enabled(node):
    return node is not None and node.getState().contains(pyatspi.STATE_SENSITIVE)


def set_local_network(app, tabs, name):
    """Privacy page: the network name typed, Set Local Device Only pressed, and the local
    device's confirmation said in an Information box."""
    press([t for t in tabs if t.name == "Privacy"][0])
    button = wait_for("Set Local Device Only", lambda: find(
        app, pyatspi.ROLE_PUSH_BUTTON, "Set Local Device Only"), 10)
    field = wait_for("the network name field", lambda: text_field(app, "Private Network Name"), 10)
    # The first visit scans once with the page disabled, then shows the present name.
    wait_for("the Privacy page ready", lambda: enabled(button) and
             field.queryText().getText(0, -1) != "", 60)
    field.queryEditableText().setTextContents(name)
    typed = field.queryText().getText(0, -1)
    if typed != name:
        fail("the name field holds %r" % typed)
    press(button)
    box = wait_for("the local device's confirmation", lambda: find(app, pyatspi.ROLE_ALERT), 60)
    texts = {n.name for n in walk(box)} | {box.description}
    wanted = "Local network set to '%s'" % name
    if box.name != "Information" or wanted not in texts:
        fail("set local network: box %r with %r" % (box.name, texts))
    press(find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"))
    press(tabs[0])
    print("privacy: %s" % wanted)


def status_field(pid, field):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return line.split()[1]
    return None


def capture_helper_of(pid):
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if (status_field(int(entry), "PPid") == str(pid) and
                    status_field(int(entry), "Name") == "corvel-capture"):
                return int(entry)
        except OSError:
            continue
    return None


def check_privileges(pid, probe):
    """No capability in the program nor in what it loaded; the capture helper holds the two."""
    own = status_field(pid, "CapEff")
    helper = capture_helper_of(pid)
    helper_caps = status_field(helper, "CapEff") if helper else None
    print("program CapEff: %s; corvel-capture (pid %s) CapEff: %s" % (own, helper, helper_caps))
    if own != "0000000000000000":
        fail("the desktop program holds capabilities: %s" % own)
    if helper_caps != "0000000000003000":
        fail("no capture helper with cap_net_raw,cap_net_admin only beside the program")
    with open(probe) as f:
        loaded = [line.strip() for line in f if line.strip()]
    print("loaded style plugin saw: %r" % loaded)
    if not loaded:
        fail("the style plugin named by QT_PLUGIN_PATH was not loaded")
    if any(line.split()[-1] != "0000000000000000" for line in loaded):
        fail("code loaded from the user's environment ran with capabilities: %r" % loaded)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--title", default="Corvel Utility")
    parser.add_argument("--station", action="append", default=[])
    parser.add_argument("--fbdir")
    parser.add_argument("--shots")
    parser.add_argument("--bench", action="store_true")
    parser.add_argument("--qt-plugins")
    parser.add_argument("--privacy-name")
    parser.add_argument("--first-as")
    parser.add_argument("--second-as")
    parser.add_argument("--station-view")
    args = parser.parse_args()

    data = tempfile.mkdtemp(prefix="corvel-gui-")
    # The settings the program keeps per user (the window's size and place) go here, not into
    # the home of whoever runs the test.
    config = tempfile.mkdtemp(prefix="corvel-gui-config-")
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", XDG_CONFIG_HOME=config)
    probe = None
    if args.qt_plugins:
        probe = os.path.join(data, "capeff-probe.txt")
        env.update(QT_PLUGIN_PATH=args.qt_plugins, QT_STYLE_OVERRIDE="capprobe",
                   CORVEL_CAP_PROBE=probe)
    if args.first_as:
        os.chown(data, int(args.first_as.split(":")[0]), int(args.first_as.split(":")[1]))
    argv, first_env = run_as(args.first_as, [args.program, "--data-dir", data], env)
    started = time.monotonic()
    first = subprocess.Popen(argv, env=first_env)
    try:
        app = wait_for("the program on the accessibility bus", lambda: application(first.pid), 20)
        global DUMP
        DUMP = app
        if args.bench:
            on_bus = time.monotonic() - started
            table = wait_for("the station list", lambda: find(
                app, pyatspi.ROLE_TABLE, "Additional devices found on the network"), 30)
            wait_for("the filled station list", lambda: table_rows(table), 30)
            filled = time.monotonic() - started
            print("window on the accessibility bus: %.2f s" % on_bus)
            time.sleep(2)
            print("first filled station list: %.2f s" % filled)
            print("resident memory: %.1f MB" % (rss_kib(first.pid) / 1024))
            open_station_view(app, first_station_mac(table))
            time.sleep(2)
            print("resident memory, station view open: %.1f MB" % (rss_kib(first.pid) / 1024))
        else:
            tabs = check_main_page(app, args.title, set(args.station))
            if args.privacy_name:
                set_local_network(app, tabs, args.privacy_name)
            if args.shots:
                screenshots(app, args.title, tabs, args.fbdir, args.shots)
            if args.station_view:
                read_station_view(app, args.station_view, args.fbdir, args.shots)
                restart_station(app, args.station_view)
            second_copy_refused(args.program, env, first, args.title, args.second_as)
            if probe:
                check_privileges(first.pid, probe)
        press(find(app, pyatspi.ROLE_PUSH_BUTTON, "Close"))
        if first.wait(timeout=20) != 0:
            fail("the program exited with %d" % first.returncode)
        if not args.bench and not any(n.endswith(".data") for n in os.listdir(data)):
            fail("closing did not save the device database")
        settings = os.path.join(config, "corvel-utility", "corvel-utility.conf")
        if not args.bench and not args.first_as and not os.path.exists(settings):
            fail("closing did not keep the window's size and place in %s" % settings)
    finally:
        if first.poll() is None:
            first.kill()
            first.wait()
        shutil.rmtree(data, ignore_errors=True)
        shutil.rmtree(config, ignore_errors=True)
    print("gui_e2e: PASS")


if __name__ == "__main__":
    main()
