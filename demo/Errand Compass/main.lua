-- Errand Compass 1.0: shows the next step of every tracked quest.
local tracker = require("ui.tracker")
local zones = require("data.zones.index")

zentora.on("quest_update", function(quest)
  tracker.show(quest.title, zones.hint(quest.zone, quest.step))
end)
