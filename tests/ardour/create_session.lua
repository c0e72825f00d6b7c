-- ardour7-lua create_session.lua <dir> <name> <rate> [<parameter index> <normalised value>]
local dir, name, rate = arg[1], arg[2], tonumber (arg[3])
local s = create_session (dir, name, rate)
assert (s, "could not create the session")
local tracks = s:new_audio_track (1, 2, nil, 1, "click", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
local route = tracks:front ()
local plugin = ARDOUR.LuaAPI.new_plugin (s, "Velmora mono in", ARDOUR.PluginType.VST3, "")
assert (not plugin:isnil (), "the plug-in is not known to Ardour")
route:add_processor_by_index (plugin, 0, nil, true)
if arg[4] then
  assert (ARDOUR.LuaAPI.set_processor_param (plugin, tonumber (arg[4]), tonumber (arg[5])), "could not set the parameter")
end
s:save_state ("")
print ("session created")
close_session ()
