-- Sounds for Bite Chime; volume follows the game's effects volume.
local M = {}

function M.bell()
  zentora.play("bell.wav", { volume = zentora.volume("effects") })
end

return M
