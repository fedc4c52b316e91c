// Starts zokc lsp, the language server for zok maps, for every .zok file:
// problems as you type, go to definition, references, hover, completion,
// outline, rename and quick fixes. zokc must be on the PATH, or set zok.zokcPath.
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');

let client;

function activate(context) {
  const command = vscode.workspace.getConfiguration('zok').get('zokcPath') || 'zokc';
  const server = { command, args: ['lsp'], transport: TransportKind.stdio };
  client = new LanguageClient('zok', 'zokc lsp', { run: server, debug: server }, {
    documentSelector: [{ scheme: 'file', language: 'zok' }],
    synchronize: { fileEvents: vscode.workspace.createFileSystemWatcher('**/*.zok') },
  });
  context.subscriptions.push(client);
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
