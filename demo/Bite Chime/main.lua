-- Bite Chime 1.2: rings a bell when something bites.
local sounds = require("sounds")

zentora.on("bobber", function(event)
  if event.splash then sounds.bell() end
end)
