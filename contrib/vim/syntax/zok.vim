" Vim syntax file
" Language:	zok map scripts (game/<map>.zok)
"
" Follows how zok reads a map: a directive is made of the non-blank bytes at
" the start of a line, so blanks may stand before it and between its letters
" ('. go hall' moves to hall). Text zok would not act on the way an author
" expects is marked as an error: a carriage return at the line end, blanks
" after .else or .fi, extra blanks after .go or .set, blanks after a .go
" target, and conditions that mix '&' and '='.

if exists('b:current_syntax')
  finish
endif
let s:cpo_save = &cpo
set cpo&vim

syn case match
syn sync fromstart

" A directive with blanks allowed between its letters.
function! s:D(word) abort
  return '\.[ \t]*' . join(split(a:word, '\zs'), '[ \t]*')
endfunction
" Start of a line, leading blanks not highlighted.
let s:B = '^[ \t]*\zs'

" A carriage return before the newline is part of the line's text, so the
" directive on that line is not recognised.
syn match zokCR /\r$/

" .name: the rest of the line, blanks included, is the name line.
exe 'syn match zokNameDir /' . s:B . s:D('name') . '/ nextgroup=zokNameText'
syn match zokNameText /.*$/ contained contains=zokCR

" .desc ... .dend: the rest of the .desc line and every line up to one that
" holds nothing but .dend. Directives inside are plain text.
exe 'syn region zokDesc matchgroup=zokDirective start=/' . s:B . s:D('desc')
      \ . '/ end=/' . s:B . s:D('dend') . '[ \t]*$/ contains=zokCR'
" '.desc .dend' on one line shows an empty description at once.
exe 'syn match zokDescEmpty /' . s:B . s:D('desc') . '[ \t]*' . s:D('dend')
      \ . '[ \t]*$/'

" Flow statements: nothing else may be on their line.
exe 'syn match zokFlow /' . s:B . '\%('
      \ . join(map(['break', 'exit', 'die', 'win'], {_, w -> s:D(w)}), '\|')
      \ . '\)\ze[ \t]*$/'

" .go: the target is everything after the first blank, so further blanks
" before or after it become part of the map name.
exe 'syn match zokGo /' . s:B . s:D('go') . '\ze[ \t]/ nextgroup=zokGoSep'
syn match zokGoSep /[ \t]/ contained nextgroup=zokGoBlank,zokTarget
syn match zokGoBlank /[ \t]\+/ contained nextgroup=zokTarget
syn match zokTarget /[^ \t\r]\%([^\r]*[^ \t\r]\)\=/ contained
      \ nextgroup=zokTrailBlank
syn match zokTrailBlank /[ \t]\+/ contained

" .set name [number]: the name runs to the first space; a second blank after
" .set makes the name empty.
exe 'syn match zokSet /' . s:B . s:D('set') . '\ze[ \t]/ nextgroup=zokSetSep'
syn match zokSetSep /[ \t]/ contained nextgroup=zokSetBlank,zokSetName
syn match zokSetBlank /[ \t]\+/ contained nextgroup=zokSetName
syn match zokSetName /[^ \r]\+/ contained nextgroup=zokSetValue skipwhite
syn match zokSetValue /[-+]\=\d\+/ contained

" .if and .elif: no blanks inside the word; the condition follows. Its first
" '&' or '=' decides its form, and blanks in it are ignored.
syn match zokIf /^[ \t]*\zs\.\%(el\)\=if\ze[ \t]/
      \ nextgroup=zokCondBare,zokCondSum,zokCondEq skipwhite
syn match zokCondBare /[^&=\r]\+\ze\r\=$/ contained contains=zokVar
" a&b: true when the values add up to the count of names; an '=' here is
" part of a name, not a comparison.
syn match zokCondSum /[^&=\r]*&[^\r]*/ contained
      \ contains=zokVar,zokAnd,zokSumEq
" a=5: anything after the number is ignored.
syn match zokCondEq /[^&=\r]*=[^\r]*/ contained contains=zokVar,zokEqOp
syn match zokVar /[^&= \t\r]\+/ contained
syn match zokAnd /&/ contained
syn match zokSumEq /=/ contained
syn match zokEqOp /=/ contained nextgroup=zokEqNum,zokJunk skipwhite
" Defined before the number, so that a number after '=' wins over it.
syn match zokJunk /[^ \t\r][^\r]*/ contained
syn match zokEqNum /[-+]\=\%([ \t]*\d\)\+/ contained nextgroup=zokJunk skipwhite

" .else and .fi: only when the newline follows at once.
syn match zokElse /^[ \t]*\zs\.\%(else\|fi\)\ze[ \t]*\r\=$/
      \ nextgroup=zokTrailBlank

syn cluster zokTop contains=zokNameDir,zokDesc,zokDescEmpty,zokList,zokFlow,
      \zokGo,zokSet,zokIf,zokElse,zokCR

" .list ... .lend: between options only .opt, .loop and conditions count.
exe 'syn region zokList matchgroup=zokDirective start=/' . s:B . s:D('list')
      \ . '/ end=/' . s:B . s:D('lend')
      \ . '/ contains=zokOpt,zokLoop,zokIf,zokElse,zokCR'
exe 'syn match zokLoop /' . s:B . s:D('loop') . '/ contained'
" .opt label, then a body up to .tpo. Every body line that starts with .opt
" opens a nested option that needs its own .tpo, inside a list or not.
exe 'syn region zokOpt matchgroup=zokDirective start=/' . s:B . s:D('opt')
      \ . '/ end=/' . s:B . s:D('tpo')
      \ . '/ contained contains=zokLabel,zokOpt,@zokTop'
exe 'syn match zokLabel /\%(^[ \t]*' . s:D('opt') . '\)\@<=.*$/'
      \ . ' contained contains=zokCR'

hi def link zokDirective  Statement
hi def link zokDescEmpty  zokDirective
hi def link zokNameDir    zokDirective
hi def link zokGo         zokDirective
hi def link zokSet        zokDirective
hi def link zokFlow       zokDirective
hi def link zokLoop       Repeat
hi def link zokIf         Conditional
hi def link zokElse       Conditional
hi def link zokNameText   String
hi def link zokDesc       String
hi def link zokLabel      String
hi def link zokTarget     Underlined
hi def link zokSetName    Identifier
hi def link zokVar        Identifier
hi def link zokSetValue   Number
hi def link zokEqNum      Number
hi def link zokAnd        Operator
hi def link zokEqOp       Operator
hi def link zokCR         Error
hi def link zokTrailBlank Error
hi def link zokGoBlank    Error
hi def link zokSetBlank   Error
hi def link zokSumEq      Error
hi def link zokJunk       Error

let b:current_syntax = 'zok'
let &cpo = s:cpo_save
unlet s:cpo_save
