-- A VLC interface (--extraintf=luaintf --lua-intf=vlc-played) for the player tests: follows the one input
-- VLC plays and, once it has ended, writes how far it played and the pictures and sound it lost, then
-- quits. VLC updates the input's time only every few tenths of a second, so the time played is the last
-- one reported plus the wall time since.
local seen, played, at, lost = false, 0, 0, 0
while true do
  local input = vlc.object.input()
  local item = input and vlc.input.item()
  if item then
    seen = true
    local t = vlc.var.get(input, "time")
    if t > played or at == 0 then
      played, at = t, vlc.misc.mdate()
    end
    local stats = item:stats()
    lost = (stats.lost_pictures or 0) + (stats.lost_abuffers or 0)
  elseif seen then
    io.stderr:write(string.format("tq9-played %.3f lost %d\n", (played + vlc.misc.mdate() - at) / 1e6, lost))
    vlc.misc.quit()
    return
  end
  vlc.misc.mwait(vlc.misc.mdate() + 10000)
end
