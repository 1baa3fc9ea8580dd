-- An mpv script (--script=mpv-played.lua) for the player tests: at the end of the file, writes how far it
-- played (the playback time; for a still, the time its picture was shown), the pictures dropped by the
-- output and by the decoder, and why the file ended.
local played, shownAt = 0, nil
mp.add_periodic_timer(0.01, function()
  local t = mp.get_property_number("playback-time")
  if t and t > played then played = t end
end)
mp.register_event("playback-restart", function()
  shownAt = shownAt or mp.get_time()
end)
mp.register_event("end-file", function(e)
  if played == 0 and shownAt then played = mp.get_time() - shownAt end
  io.stderr:write(string.format("tq9-played %.3f dropped %d reason %s %s\n", played,
    mp.get_property_number("frame-drop-count", 0) + mp.get_property_number("decoder-frame-drop-count", 0),
    e.reason, e.error or ""))
end)
