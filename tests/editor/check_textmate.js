// Tokenises sample.zok with the grammar contrib/vscode declares for .zok files,
// through vscode-textmate and vscode-oniguruma as VS Code does (scripts/install-deps
// test installs both), and compares the innermost scope at each position of
// positions.txt with the expected one. Run: node tests/editor/check_textmate.js
'use strict';
const fs = require('fs');
const path = require('path');
const vsctm = require('vscode-textmate');
const onig = require('vscode-oniguruma');

const ext = path.join(__dirname, '..', '..', 'contrib', 'vscode');
const read = (file) => fs.readFileSync(file, 'utf8');
const failures = [];
let checks = 0;
const expect = (ok, message) => (checks++, ok || failures.push(message));

// "-" is plain text: only source.zok and meta scopes. Otherwise the innermost
// scope is the expected one, or a narrower one.
const matches = (scopes, want) => (want === '-'
  ? scopes.every((s) => s === 'source.zok' || s.startsWith('meta.')) : (scopes.at(-1) || '').startsWith(`${want}.`));

async function main() {
  const { languages = [], grammars = [] } = JSON.parse(read(path.join(ext, 'package.json'))).contributes;
  const lang = languages.find((l) => (l.extensions || []).includes('.zok'));
  const entry = lang && grammars.find((g) => g.language === lang.id && g.scopeName === 'source.zok');
  if (!entry) throw new Error('package.json: no language with the grammar source.zok for .zok files');
  JSON.parse(read(path.join(ext, lang.configuration)));
  const file = path.join(ext, entry.path);
  const wasm = fs.readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
  await onig.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const onigLib = Promise.resolve({
    createOnigScanner: (patterns) => new onig.OnigScanner(patterns), createOnigString: (s) => new onig.OnigString(s) });
  const grammar = await new vsctm.Registry({ onigLib, loadGrammar: async () => vsctm.parseRawGrammar(read(file), file) })
    .loadGrammar('source.zok');

  // Split at newlines only, so that carriage returns reach the grammar.
  let state = vsctm.INITIAL;
  const tokens = fs.readFileSync(path.join(__dirname, 'sample.zok'), 'latin1').split('\n').map((line) => {
    const result = grammar.tokenizeLine(line, state);
    state = result.ruleStack;
    return result.tokens;
  });
  for (const row of read(path.join(__dirname, 'positions.txt')).split('\n').filter((r) => !/^\s*(#|$)/.test(r))) {
    const words = row.trim().split(/\s+/);
    const n = words.findIndex((w) => !/^\d+:\d+$/.test(w));
    for (const [lnum, col] of words.slice(0, n).map((w) => w.split(':').map(Number))) {
      const token = (tokens[lnum - 1] || []).find((t) => t.startIndex < col && col <= t.endIndex);
      const scopes = token ? token.scopes : [];
      expect(matches(scopes, words[n + 1]), `${lnum}:${col} ${words.slice(n + 3).join(' ')}: want ${words[n + 1]}, `
        + `got ${scopes.join(' ') || 'no token'}`);
    }
  }
  if (!checks) failures.push('no position read from positions.txt');
}

main().catch((e) => failures.push(e.message)).then(() => {
  failures.forEach((f) => console.log(`FAIL ${f}`));
  console.log(`textmate grammar: ${checks} checks, ${failures.length} failed`);
  process.exit(failures.length ? 1 : 0);
});
