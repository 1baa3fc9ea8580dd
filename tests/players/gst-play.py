#!/usr/bin/python3
"""Plays FILE to its end with GStreamer's playbin into fake sinks that keep the clock and drop a late
picture as a video sink would, and writes what reached them:
    tq9-played <seconds> pictures <n> dropped <n> ended <0|1>
then one "error: ..." or "warning: ..." line per bus message of that kind."""
import os
import sys

import gi

gi.require_version("Gst", "1.0")
from gi.repository import GLib, Gst  # noqa: E402


def main(path):
    # GStreamer's own BMP decoder wants a whole picture per buffer and nothing parses a BMP into one, so
    # a BMP over 4 KB (a .thm is 5 KB) fails there; the pixbuf decoder, which reads the whole file, is put
    # just above it (Debian leaves it unranked) and below the JPEG decoder.
    os.environ["GST_PLUGIN_FEATURE_RANK"] = "gdkpixbufdec:65"
    Gst.init(None)
    play = Gst.ElementFactory.make("playbin")
    play.set_property("uri", Gst.filename_to_uri(os.path.abspath(path)))
    seen = {"pictures": 0, "end": 0.0, "dropped": 0, "ended": False}
    messages = []

    def handoff(_sink, buf, _pad, video):
        if buf.pts != Gst.CLOCK_TIME_NONE:
            duration = buf.duration if buf.duration != Gst.CLOCK_TIME_NONE else 0
            seen["end"] = max(seen["end"], (buf.pts + duration) / Gst.SECOND)
        if video:
            seen["pictures"] += 1

    for kind in ("video", "audio"):
        sink = Gst.ElementFactory.make("fakesink")
        sink.set_property("sync", True)
        sink.set_property("signal-handoffs", True)
        if kind == "video":
            # Drop late pictures and say so, as a video sink does; the bound is wider than a real sink's
            # 20 ms so that a busy test machine is not taken for a fault of the file's times.
            sink.set_property("qos", True)
            sink.set_property("max-lateness", 200 * Gst.MSECOND)
        sink.connect("handoff", handoff, kind == "video")
        play.set_property(kind + "-sink", sink)
    loop = GLib.MainLoop()

    def on_message(_bus, message):
        if message.type == Gst.MessageType.EOS:
            seen["ended"] = True
            loop.quit()
        elif message.type == Gst.MessageType.ERROR:
            messages.append("error: %s" % message.parse_error()[0].message)
            loop.quit()
        elif message.type == Gst.MessageType.WARNING:
            messages.append("warning: %s" % message.parse_warning()[0].message)
        elif message.type == Gst.MessageType.QOS:
            seen["dropped"] = max(seen["dropped"], message.parse_qos_stats()[2])

    bus = play.get_bus()
    bus.add_signal_watch()
    bus.connect("message", on_message)
    GLib.timeout_add_seconds(60, loop.quit)
    play.set_state(Gst.State.PLAYING)
    loop.run()
    play.set_state(Gst.State.NULL)
    print("tq9-played %.3f pictures %d dropped %d ended %d"
          % (seen["end"], seen["pictures"], seen["dropped"], seen["ended"]))
    for line in messages:
        print(line)
    return 0 if seen["ended"] else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
