-- Small string helpers shared by the Auto Loot modules.
local M = {}

function M.quote(text)
  return "\"" .. tostring(text):gsub("\"", "\\\"") .. "\""
end

function M.starts_with(text, prefix)
  return text:sub(1, #prefix) == prefix
end

return M
