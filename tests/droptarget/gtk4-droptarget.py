#!/usr/bin/python3
# A GTK 4 drop target for the drag tests, taking file lists the way GTK 4 file managers do: through the
# toolkit's own drop handling on X11. It copies each file into OUT_DIR at the drop and logs what it got, so
# the test sees whether the files were complete by then. With --peek the list is loaded as soon as the
# pointer enters (GTK's preload) and that list is used at the drop.
#
# With --give-up it behaves like a target with a time limit: at the drop it asks for the list, and a
# second later ends the drop without reading it, its request still open.
#
# Usage: gtk4-droptarget.py TITLE OUT_DIR [--peek|--give-up]. Writes OUT_DIR/log: "peek N", "drop N" (files
# in the list) and "copied NAME SIZE" or "missing PATH" per file, or "gave up". Exit 77 when GTK 4 cannot
# be loaded.
import os
import shutil
import sys

try:
    import gi
    gi.require_version("Gtk", "4.0")
    gi.require_version("Gdk", "4.0")
    from gi.repository import Gdk, GLib, Gtk
except (ImportError, ValueError) as e:
    print(f"gtk4-droptarget: {e}", file=sys.stderr)
    sys.exit(77)

title, out = sys.argv[1], sys.argv[2]
peek = "--peek" in sys.argv[3:]
give_up = "--give-up" in sys.argv[3:]


def log(line):
    with open(os.path.join(out, "log"), "a") as f:
        f.write(line + "\n")


def paths_of(value):
    return [f.get_path() for f in value.get_files()]


def on_value(target, _pspec):
    value = target.get_value()
    if value is not None and peek:
        log(f"peek {len(paths_of(value))}")


def on_drop(_target, value, _x, _y):
    paths = paths_of(value)
    log(f"drop {len(paths)}")
    for path in paths:
        name = os.path.basename(path)
        try:
            shutil.copyfile(path, os.path.join(out, name))
            log(f"copied {name} {os.path.getsize(os.path.join(out, name))}")
        except OSError:
            log(f"missing {path}")
    return True


if not Gtk.init_check():
    print("gtk4-droptarget: cannot open the display", file=sys.stderr)
    sys.exit(77)
window = Gtk.Window(title=title)
window.set_default_size(300, 300)
area = Gtk.Label(label="drop here")
def on_drop_giving_up(_target, drop, _x, _y):
    # The pending read keeps the request open; what it brings later is ignored.
    drop.read_value_async(Gdk.FileList.__gtype__, GLib.PRIORITY_DEFAULT, None, lambda *_: None)

    def end():
        log("gave up")
        drop.finish(Gdk.DragAction.COPY)
        return False
    GLib.timeout_add(1000, end)
    return True


if give_up:
    target = Gtk.DropTargetAsync.new(Gdk.ContentFormats.parse("text/uri-list"), Gdk.DragAction.COPY)
    target.connect("drop", on_drop_giving_up)
else:
    target = Gtk.DropTarget.new(Gdk.FileList, Gdk.DragAction.COPY)
    target.set_preload(peek)
    target.connect("notify::value", on_value)
    target.connect("drop", on_drop)
area.add_controller(target)
window.set_child(area)
loop = GLib.MainLoop()
window.connect("close-request", lambda *_: loop.quit() or False)
window.present()
loop.run()
