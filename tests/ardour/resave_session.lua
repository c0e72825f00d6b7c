-- ardour7-lua resave_session.lua <dir> <name>: load a session and save it again.
local s = load_session (arg[1], arg[2])
assert (s, "could not load the session")
s:save_state ("")
print ("session saved")
close_session ()
