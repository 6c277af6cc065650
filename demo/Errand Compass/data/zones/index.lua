-- Hints per zone and quest step.
local M = {}
local hints = {
  meadows = { "Talk to the miller.", "Bring five sacks of grain.", "Return to the miller." },
  harbour = { "Find the harbour master.", "Board the evening ferry." },
}

function M.hint(zone, step)
  local steps = hints[zone]
  return steps and steps[step]
end

return M
