-- The small tracker panel at the right edge of the screen.
local M = {}
local panel = zentora.panel{ anchor = "right", width = 240 }

function M.show(title, hint)
  panel:clear()
  panel:heading(title)
  panel:text(hint or "No hint for this step yet.")
end

return M
