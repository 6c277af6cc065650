-- One fight as lines of text.
local M = {}

function M.fight(fight)
  local lines = { string.format("[%s] %s", fight.time, fight.enemy) }
  for _, hit in ipairs(fight.hits) do
    lines[#lines + 1] = string.format("  %-16s %6d", hit.skill, hit.amount)
  end
  return table.concat(lines, "\n") .. "\n"
end

return M
