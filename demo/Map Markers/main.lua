-- Map Markers 3.1: pins on the world map, saved between sessions.
local store = zentora.storage("Map Markers")

zentora.command("pin", function(args)
  local pins = store:get("pins") or {}
  table.insert(pins, { x = args.x, y = args.y, label = args.label })
  store:set("pins", pins)
end)
