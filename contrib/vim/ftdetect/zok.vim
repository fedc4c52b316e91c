" zok map scripts. zok does not accept CR-LF line ends, so read them with
" plain newlines only: with 'fileformats' at its usual "unix,dos" Vim would
" take a file with CR-LF throughout as "dos" and hide every carriage return
" that the syntax file marks as an error.
autocmd BufNewFile,BufRead *.zok setfiletype zok
autocmd BufReadPre *.zok let s:zok_ffs = &fileformats | set fileformats=unix
autocmd BufReadPost *.zok
      \ if exists('s:zok_ffs') | let &fileformats = s:zok_ffs | unlet s:zok_ffs | endif
