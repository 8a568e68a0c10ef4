-- Headless Ardour sessions for the KVB checks, run by ardour7-lua for
-- ardour_host_test.py, which prepares the arguments and reads what this prints:
--
--   create DIR NAME RATE       a new session with one stereo track, "KVB"; lists every plug-in
--                              Ardour knows: "plugin TYPE|NAME|ID|PATH"
--   setup DIR NAME TYPE ID [N=V ...] [auto:N:SAMPLE:V ...]
--                              inserts the plug-in (TYPE "LXVST", "LV2" or "VST3", ID its unique
--                              ID or URI) first on the track, prints its parameters ("desc N
--                              INPUT|OUTPUT LOWER UPPER STEPPED LABEL"), sets parameter N to V
--                              through Ardour's control, adds automation points (steps) and saves
--                              the session
--   export DIR NAME EXPORT_DIR PRESET
--                              loads the session, prints the plug-in's latency ("latency N"), the
--                              engine's block size ("block N") and the plug-in's parameters
--                              ("param N VALUE") and exports the session's range with the preset
--
-- Parameter N is the plug-in's N-th parameter as Ardour counts them. A VST3
-- plug-in's values go in and come out here as its normalised values (0 to 1,
-- as the VST 2.4 build and kvb render take them): Ardour's controls take the
-- plug-in's plain values, lower + normalised * (upper - lower), which this
-- script converts both ways.
--
-- Each command prints "kvb-session: done" before it closes the session, so
-- that a crash while closing can be told apart from a failure.

local command = arg[1]

local function fail(message)
	print("kvb-session: FAILED: " .. message)
	io.stdout:flush()
	os.exit(1)
end

local function check(condition, message)
	if not condition then fail(message) end
end

local function start_engine()
	check(AudioEngine:set_backend("None (Dummy)", "", ""), "no 'None (Dummy)' audio backend")
end

local function open_session(dir, name)
	start_engine()
	check(load_session(dir, name), "cannot load session " .. dir .. "/" .. name)
end

local function save()
	check(Session:save_state("", false, false, false, false, false) == 0, "cannot save the session")
end

local function the_track()
	local track = Session:route_by_name("KVB")
	check(not track:isnil(), "the session has no track KVB")
	return track
end

-- Whether the track's two outputs feed the master bus's two inputs.
local function feeds_master(track)
	local master = Session:master_out():input()
	for c = 0, 1 do
		if not track:output():audio(c):connected_to(master:audio(c):name()) then return false end
	end
	return true
end

-- Whether a plug-in takes plain values that this script converts (VST3).
local function converts(plugin)
	return plugin:get_info().type == ARDOUR.PluginType.VST3
end

local function descriptor(plugin, n)
	local port = plugin:nth_parameter(n, false)
	local pd = ARDOUR.ParameterDescriptor()
	plugin:get_parameter_descriptor(port, pd)
	return pd, port
end

-- A value for Ardour's control of parameter n, from the value given here.
local function to_control(plugin, n, value)
	if not converts(plugin) then return value end
	local pd = descriptor(plugin, n)
	return pd.lower + value * (pd.upper - pd.lower)
end

local function from_control(plugin, n, value)
	if not converts(plugin) then return value end
	local pd = descriptor(plugin, n)
	if pd.upper == pd.lower then return value end
	return (value - pd.lower) / (pd.upper - pd.lower)
end

local function done()
	print("kvb-session: done")
	io.stdout:flush()
	if Session then close_session() end
end

if command == "create" then
	local dir, name, rate = arg[2], arg[3], tonumber(arg[4])
	start_engine()
	check(create_session(dir, name, rate), "cannot create session " .. dir)
	for p in ARDOUR.LuaAPI.list_plugins():iter() do
		print(string.format("plugin %s|%s|%s|%s", ARDOUR.PluginType.name(p.type), p.name,
			p.unique_id, p.path))
	end
	local tracks = Session:new_audio_track(2, 2, nil, 1, "KVB", ARDOUR.PresentationInfo.max_order,
		ARDOUR.TrackMode.Normal, true)
	check(tracks:size() == 1, "cannot add a stereo track")
	-- Ardour connects a new track to the master bus in a thread of its own;
	-- a session saved before that happened would load with the track
	-- unconnected and export silence. Connect it here.
	local track = tracks:front()
	local master = Session:master_out():input()
	for c = 0, 1 do
		local port, to = track:output():audio(c), master:audio(c):name()
		if not port:connected_to(to) then port:connect(to) end
	end
	check(feeds_master(track), "cannot connect the track to the master bus")
	save()
	done()

elseif command == "setup" then
	local dir, name, ptype, id = arg[2], arg[3], arg[4], arg[5]
	open_session(dir, name)
	local track = the_track()
	check(track:nth_plugin(0):isnil(), "the track has a plug-in already")
	local proc = ARDOUR.LuaAPI.new_plugin(Session, id, ARDOUR.PluginType[ptype], "")
	check(not proc:isnil(), "Ardour cannot instantiate " .. ptype .. " " .. id)
	check(track:add_processor_by_index(proc, 0, nil, true) == 0, "cannot insert the plug-in")
	local plugin = proc:to_insert():plugin(0)
	for n = 0, plugin:parameter_count() - 1 do
		local pd, port = descriptor(plugin, n)
		print(string.format("desc %d %s %.9g %.9g %s %s", n,
			plugin:parameter_is_input(port) and "INPUT" or "OUTPUT", pd.lower, pd.upper,
			(pd.toggled or pd.integer_step) and "STEPPED" or "CONTINUOUS", plugin:parameter_label(port)))
	end
	for i = 6, #arg do
		local n, value = arg[i]:match("^(%d+)=(.+)$")
		if n then
			n = tonumber(n)
			check(ARDOUR.LuaAPI.set_processor_param(proc, n, to_control(plugin, n, tonumber(value))),
				"cannot set parameter " .. n)
		else
			local a_n, a_sample, a_value = arg[i]:match("^auto:(%d+):(%d+):(.+)$")
			check(a_n, "bad argument " .. arg[i])
			local list, events = ARDOUR.LuaAPI.plugin_automation(proc, tonumber(a_n))
			check(not list:isnil(), "parameter " .. a_n .. " cannot be automated")
			-- Steps, not ramps: each value holds until the next point.
			events:set_interpolation(Evoral.InterpolationStyle.Discrete)
			events:add(Temporal.timepos_t(tonumber(a_sample)),
				to_control(plugin, tonumber(a_n), tonumber(a_value)), false, false)
			-- The control plays its automation back.
			local port = proc:to_insert():plugin(0):nth_parameter(tonumber(a_n), false)
			local control = proc:to_automatable():automation_control(
				Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, port), false)
			check(not control:isnil(), "no control for parameter " .. a_n)
			control:set_automation_state(ARDOUR.AutoState.Play)
		end
	end
	if converts(plugin) then
		-- A VST3 component learns the values set through Ardour's controls
		-- in its next process call, and Ardour saves the component's state
		-- beside them, which wins when the session is loaded: the engine
		-- runs a moment first, as it would in a session being worked on.
		ARDOUR.LuaAPI.usleep(500000)
	end
	save()
	done()

elseif command == "export" then
	local dir, name, export_dir, preset = arg[2], arg[3], arg[4], arg[5]
	open_session(dir, name)
	local track = the_track()
	check(feeds_master(track), "the track does not feed the master bus")
	local proc = track:nth_plugin(0)
	check(not proc:isnil(), "the track has no plug-in")
	check(track:nth_plugin(1):isnil(), "the track has more than one plug-in")
	print("latency " .. proc:signal_latency())
	print("block " .. Session:get_block_size())
	local plugin = proc:to_insert():plugin(0)
	-- Parameter n is the plug-in's n-th control port (VST3: its n-th
	-- parameter that is automatable or read-only, in the controller's order).
	-- Ardour's control answers with what the plug-in answers.
	for n = 0, plugin:parameter_count() - 1 do
		local port, refs = plugin:nth_parameter(n, false)
		if not refs[2] then break end
		if plugin:parameter_is_input(port) then
			local value = from_control(plugin, n, ARDOUR.LuaAPI.get_processor_param(proc, n, false))
			print(string.format("param %d %.9g", n, value))
		end
	end
	local range = Session:locations():session_range_location()
	check(range, "the session has no range")
	local export = Session:simple_export()
	export:set_folder(export_dir)
	export:set_range(range:start():samples(), range:_end():samples())
	check(export:set_preset(preset), "no export preset " .. preset)
	check(export:check_outputs(), "the master bus has no outputs to export")
	check(export:run_export(), "the export failed")
	done()

else
	fail("unknown command " .. tostring(command))
end
