-- Combat Log 0.9: writes every fight to a dated text file.
local format = require("lib.format")

zentora.on("combat_end", function(fight)
  zentora.append_file(os.date("fights-%Y-%m-%d.txt"), format.fight(fight))
end)
