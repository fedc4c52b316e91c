-- Neovim's own LSP client against zokc lsp on a small game: a broken .go is marked, go to definition opens the
-- target map, completion after '.go ' lists the maps, and renaming a variable and a map changes every map.
-- Run as nvim --headless -u NONE -i NONE -n -c 'luafile neovim.lua' with $ZOKC the zokc binary; exits 0 when all hold.
local dir = vim.fn.tempname()
vim.fn.mkdir(dir, 'p')
vim.fn.writefile({'.name The Shore', '.set lamp', '.list', '.opt Walk', '.go hall', '.tpo', '.opt Swim', '.go sae',
                  '.tpo', '.lend'}, dir .. '/start.zok')
vim.fn.writefile({'.name The Hall', '.if lamp', '.go start', '.fi', '.die'}, dir .. '/hall.zok')

local failures = 0
local function check(ok, what)
  if not ok then
    failures = failures + 1
    io.stderr:write('failed: ' .. what .. '\n')
  end
end
local function lines(buf) return vim.api.nvim_buf_get_lines(buf, 0, -1, false) end

local client = vim.lsp.start_client({cmd = {vim.env.ZOKC, 'lsp'}, root_dir = dir, name = 'zokc'})
vim.cmd('autocmd BufReadPost *.zok lua vim.lsp.buf_attach_client(tonumber(vim.fn.expand("<abuf>")), ' .. client .. ')')
vim.cmd('edit ' .. dir .. '/start.zok')
local start = vim.api.nvim_get_current_buf()

check(vim.wait(10000, function() return #vim.diagnostic.get(start) > 0 end), 'diagnostics arrive')
local marked = vim.diagnostic.get(start)
check(#marked == 1 and marked[1].code == 'missing-map' and marked[1].lnum == 7 and marked[1].col == 4,
      'the .go to a missing map is marked: ' .. vim.inspect(marked))

vim.api.nvim_win_set_cursor(0, {5, 5})
vim.lsp.buf.definition()
check(vim.wait(10000, function() return vim.fn.expand('%:t') == 'hall.zok' end), 'definition opens hall.zok')
local hall = vim.api.nvim_get_current_buf()

vim.api.nvim_buf_set_lines(start, 10, 10, false, {'.go '})
local answers = vim.lsp.buf_request_sync(start, 'textDocument/completion',
  {textDocument = {uri = vim.uri_from_bufnr(start)}, position = {line = 10, character = 4}}, 10000)
local labels = {}
for _, answer in pairs(answers or {}) do
  for _, item in ipairs(answer.result or {}) do table.insert(labels, item.label) end
end
table.sort(labels)
check(vim.deep_equal(labels, {'hall', 'start'}), 'completion after .go lists the maps: ' .. vim.inspect(labels))
vim.api.nvim_buf_set_lines(start, 10, 11, false, {})

-- The variable, from where hall.zok tests it; then the map, from the .go in start.zok.
vim.api.nvim_win_set_cursor(0, {2, 5})
vim.lsp.buf.rename('light')
check(vim.wait(10000, function() return lines(hall)[2] == '.if light' and lines(start)[2] == '.set light' end),
      'renaming lamp changes both maps: ' .. vim.inspect({lines(hall), lines(start)}))
vim.cmd('buffer ' .. start)
vim.api.nvim_win_set_cursor(0, {5, 5})
vim.lsp.buf.rename('corridor')
check(vim.wait(10000, function() return vim.fn.filereadable(dir .. '/corridor.zok') == 1 end), 'hall.zok is renamed')
vim.cmd('wall')
check(vim.fn.filereadable(dir .. '/hall.zok') == 0, 'hall.zok is gone')
check(vim.fn.readfile(dir .. '/start.zok')[5] == '.go corridor', '.go hall became .go corridor')
check(vim.fn.readfile(dir .. '/corridor.zok')[2] == '.if light', 'corridor.zok holds the renamed variable')
-- The server followed: only the .go to 'sae' is still marked.
check(vim.wait(10000, function()
  local now = vim.diagnostic.get(start)
  return #now == 1 and now[1].lnum == 7
end), 'after the renames only the missing map is marked: ' .. vim.inspect(vim.diagnostic.get(start)))

vim.lsp.stop_client(client)
vim.fn.delete(dir, 'rf')
vim.cmd(failures == 0 and 'qall!' or 'cquit 1')
