" Opens sample.zok in Vim with contrib/vim on the runtimepath and compares the
" highlight group at each position of positions.txt with the expected one.
" Run: vim -Nu NONE -i NONE -n -es -S tests/editor/check_vim.vim
" Exits 0 when every position matches, 1 otherwise.

let s:here = expand('<sfile>:p:h')
let s:out = []
let s:passed = 0
let s:failed = 0

function! s:Check(ok, message) abort
  if a:ok
    let s:passed += 1
  else
    let s:failed += 1
    call add(s:out, 'FAIL ' . a:message)
  endif
endfunction

" The first group outside the zok syntax that the item at a position links
" to, or '-' for plain text.
function! s:Group(lnum, col) abort
  let name = synIDattr(synID(a:lnum, a:col, 1), 'name')
  while name =~# '^zok'
    let name = matchstr(execute('highlight ' . name), 'links to \zs\S\+')
  endwhile
  return empty(name) ? '-' : name
endfunction

function! s:Run() abort
  if !has('syntax')
    call add(s:out, 'FAIL this vim has no syntax highlighting (vim-tiny?): install the vim package')
    let s:failed += 1
    return
  endif
  let &runtimepath = fnamemodify(s:here, ':h:h') . '/contrib/vim,' . &runtimepath
  filetype on
  syntax on
  let ffs = &fileformats

  execute 'edit' fnameescape(s:here . '/sample.zok')
  call s:Check(&filetype ==# 'zok', 'a .zok file gets filetype zok, not "' . &filetype . '"')
  for row in readfile(s:here . '/positions.txt')
    if row =~# '^\s*\(#\|$\)'
      continue
    endif
    let [lnum, col, want; rest] = split(row)
    let got = s:Group(str2nr(lnum), str2nr(col))
    call s:Check(got ==# want, printf('%s:%s %s: want %s, got %s',
          \ lnum, col, join(rest[1:]), want, got))
  endfor

  " A file with CR-LF line ends throughout is still read with plain newlines,
  " so its carriage returns show as errors; 'fileformats' is given back.
  let crlf = tempname() . '.zok'
  call writefile(['.win' . "\r", '.go start' . "\r"], crlf, 'b')
  execute 'edit' fnameescape(crlf)
  call s:Check(&fileformat ==# 'unix', 'CR-LF map read as "' . &fileformat . '", not unix')
  call s:Check(s:Group(1, 5) ==# 'Error', 'CR-LF map: carriage return not marked as an error')
  call s:Check(&fileformats ==# ffs, 'fileformats left at "' . &fileformats . '", not "' . ffs . '"')
  call delete(crlf)
endfunction

try
  call s:Run()
catch
  call add(s:out, 'FAIL ' . v:exception . ' at ' . v:throwpoint)
  let s:failed += 1
endtry
call add(s:out, printf('vim syntax: %d passed, %d failed', s:passed, s:failed))
call writefile(s:out, '/dev/stdout', 'a')
if s:failed
  cquit 1
endif
qall!
