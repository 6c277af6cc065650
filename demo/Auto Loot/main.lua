-- Auto Loot 2.3: picks up what the filters allow, leaves the rest.
local filters = require("filters")
local strings = require("lib.util.strings")

local function on_loot_window(window)
  for _, item in ipairs(window.items) do
    if filters.wanted(item) then
      window:take(item)
    else
      zentora.log("auto loot: left " .. strings.quote(item.name))
    end
  end
end

zentora.on("loot_window", on_loot_window)
