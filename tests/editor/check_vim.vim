" Opens sample.zok in Vim with contrib/vim on the runtimepath and compares the
" group at each position of positions.txt with the expected one, then a map
" with CR-LF line ends. Run: vim -Nu NONE -i NONE -n -es -S check_vim.vim
let s:here = expand('<sfile>:p:h')
let s:failed = []
let s:checks = 0

function! s:Expect(ok, message) abort
  let s:checks += 1
  if !a:ok | call add(s:failed, 'FAIL ' . a:message) | endif
endfunction

" The first group outside the zok syntax that a position's item links to; '-' for none.
function! s:Group(lnum, col) abort
  let name = synIDattr(synID(a:lnum, a:col, 1), 'name')
  while name =~# '^zok'
    let name = matchstr(execute('highlight ' . name), 'links to \zs\S\+')
  endwhile
  return empty(name) ? '-' : name
endfunction

function! s:Run() abort
  if !has('syntax') | throw 'this vim has no syntax highlighting (vim-tiny?): install the vim package' | endif
  let &runtimepath = fnamemodify(s:here, ':h:h') . '/contrib/vim,' . &runtimepath
  filetype on
  syntax on
  let ffs = &fileformats
  execute 'edit' fnameescape(s:here . '/sample.zok')
  call s:Expect(&filetype ==# 'zok', 'a .zok file gets filetype zok, not "' . &filetype . '"')
  for words in map(filter(readfile(s:here . '/positions.txt'), 'v:val !~# "^\\s*\\(#\\|$\\)"'), 'split(v:val)')
    let n = match(words, '^\%(\d\+:\d\+\)\@!')
    for [lnum, col] in map(words[: n - 1], 'split(v:val, ":")')
      let got = s:Group(str2nr(lnum), str2nr(col))
      call s:Expect(got ==# words[n], printf('%s:%s %s: want %s, got %s', lnum, col, join(words[n + 2 :]), words[n], got))
    endfor
  endfor
  call s:Expect(s:checks > 1, 'no position read from positions.txt')

  " Carriage returns still show as errors, and 'fileformats' is given back.
  let crlf = tempname() . '.zok'
  call writefile(['.win' . "\r", '.go start' . "\r"], crlf, 'b')
  execute 'edit' fnameescape(crlf)
  call s:Expect(&fileformat ==# 'unix' && s:Group(1, 5) ==# 'Error' && &fileformats ==# ffs, printf(
        \ 'CR-LF map read as %s, its CR shown as %s, fileformats left at %s', &fileformat, s:Group(1, 5), &fileformats))
  call delete(crlf)
endfunction

try
  call s:Run()
catch
  call add(s:failed, 'FAIL ' . v:exception . ' at ' . v:throwpoint)
endtry
call writefile(s:failed + [printf('vim syntax: %d checks, %d failed', s:checks, len(s:failed))], '/dev/stdout', 'a')
if !empty(s:failed)
  cquit 1
endif
qall!
