-- Which items Auto Loot takes. Rarity and value come from settings.ini.
local settings = zentora.settings("Auto Loot")
local M = {}

function M.wanted(item)
  if item.quest then return true end
  if item.rarity >= (settings.min_rarity or 2) then return true end
  return (item.value or 0) >= (settings.min_value or 50)
end

return M
