// Tokenises sample.zok with the VS Code extension in contrib/vscode, through
// vscode-textmate and vscode-oniguruma as VS Code does, and compares the
// innermost scope at each position of positions.txt with the expected one.
// Run: node tests/editor/check_textmate.js
'use strict';
const fs = require('fs');
const path = require('path');

const extDir = path.join(__dirname, '..', '..', 'contrib', 'vscode');
const read = (file) => fs.readFileSync(file, 'utf8');
const failures = [];
let passed = 0;
const check = (ok, message) => (ok ? passed++ : failures.push(message));

// The grammar VS Code would use for a .zok file, found through the manifest.
function grammarFile() {
  const { languages = [], grammars = [] } = JSON.parse(read(path.join(extDir, 'package.json'))).contributes;
  const lang = languages.find((l) => (l.extensions || []).includes('.zok'));
  if (!lang) throw new Error('package.json: no language for .zok files');
  JSON.parse(read(path.join(extDir, lang.configuration)));
  const grammar = grammars.find((g) => g.language === lang.id && g.scopeName === 'source.zok');
  if (!grammar) throw new Error(`package.json: no grammar source.zok for language ${lang.id}`);
  return path.join(extDir, grammar.path);
}

// "-" is plain text: only source.zok and meta scopes. Otherwise the innermost
// scope is the expected one, or a narrower one.
function matches(scopes, want) {
  if (want === '-') return scopes.every((s) => s === 'source.zok' || s.startsWith('meta.'));
  const inner = scopes[scopes.length - 1] || '';
  return inner === `${want}.zok` || inner.startsWith(`${want}.`);
}

async function main() {
  let vsctm;
  let onig;
  try {
    vsctm = require('vscode-textmate');
    onig = require('vscode-oniguruma');
  } catch (e) {
    throw new Error('vscode-textmate or vscode-oniguruma missing: run scripts/install-deps');
  }
  const file = grammarFile();
  const wasm = fs.readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
  await onig.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const registry = new vsctm.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (patterns) => new onig.OnigScanner(patterns),
      createOnigString: (s) => new onig.OnigString(s),
    }),
    loadGrammar: async () => vsctm.parseRawGrammar(read(file), file),
  });
  const grammar = await registry.loadGrammar('source.zok');

  // Split at newlines only, so that carriage returns reach the grammar.
  const lines = fs.readFileSync(path.join(__dirname, 'sample.zok'), 'latin1').split('\n');
  let state = vsctm.INITIAL;
  const tokens = lines.map((line) => {
    const result = grammar.tokenizeLine(line, state);
    state = result.ruleStack;
    return result.tokens;
  });

  for (const row of read(path.join(__dirname, 'positions.txt')).split('\n')) {
    if (/^\s*(#|$)/.test(row)) continue;
    const [lnum, col, , want, ...what] = row.trim().split(/\s+/);
    const at = Number(col) - 1;
    const token = (tokens[lnum - 1] || []).find((t) => t.startIndex <= at && at < t.endIndex);
    const scopes = token ? token.scopes : [];
    check(matches(scopes, want), `${lnum}:${col} ${what.join(' ')}: want ${want}, got ${scopes.join(' ') || 'no token'}`);
  }
}

main().catch((e) => failures.push(e.message)).then(() => {
  failures.forEach((f) => console.log(`FAIL ${f}`));
  console.log(`textmate grammar: ${passed} passed, ${failures.length} failed`);
  process.exit(failures.length ? 1 : 0);
});
