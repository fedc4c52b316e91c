#!/usr/bin/env node
// play-page.js ZOKC_DIR CASE: plays the page zokc web writes for a game in headless Chromium, and zokc play
// --replay with the same answers, and compares what each shows at every wait (name line, description, menu);
// after an ending, the page must offer to play again. Sections: '@@ map NAME' (\t \0 \xHH \\ stand for bytes) or
// '@@ game' (the bundled game), '@@ answers' (a zokc play replay), '@@ mouse' (answer by clicks and taps, not
// keys); a head ending in ' =' takes a JavaScript expression for its text. By keys, option n of m is reached by
// Down m times (past the last), then Up m - n times, then Enter.
"use strict";
const { spawnSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const puppeteer = require("puppeteer-core");

const [zokcDir, source] = process.argv.slice(2);
const zokc = path.resolve(zokcDir, "zokc");
const work = fs.mkdtempSync(path.join(os.tmpdir(), "zok-web-"));
let dir = path.join(work, "game"), answers = "", mouse = false;
const parts = fs.readFileSync(source, "latin1").split(/^@@ (.*)\n/m);
for (let i = 1; i < parts.length; i += 2) {
  const [kind, arg, computed] = parts[i].split(" ");
  const body = computed === "=" || arg === "=" ? String(eval(parts[i + 1])) : parts[i + 1];
  if (kind === "map") {
    const file = path.join(work, "game", arg + ".zok");
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, Buffer.from(body.replace(/\\(x[0-9A-Fa-f]{2}|[t0\\])/g, (_, e) => e === "t" ? "\t"
      : e === "0" ? "\0" : e === "\\" ? "\\" : String.fromCharCode(parseInt(e.slice(1), 16))), "latin1"));
  } else if (kind === "game") {
    dir = path.resolve(__dirname, "../../game");
  } else if (kind === "answers") {
    answers = body;
  } else {
    mouse = kind === "mouse" || (() => { throw new Error(`unknown section: ${parts[i]}`); })();
  }
}
const answerLines = Buffer.from(answers, "latin1").toString().replace(/\n$/, "").split("\n");
fs.writeFileSync(path.join(work, "answers"), Buffer.from(answers, "latin1"));

// What zokc play shows at each wait, and at the end: the ending, or why play stopped, is one line that
// replaces the description.
function transcript() {
  const play = spawnSync(zokc, ["play", "--replay", path.join(work, "answers"), "game"],
                         { cwd: path.dirname(dir), input: "", encoding: "utf8" });
  const lines = play.stdout.replace(/\n$/, "").split("\n").slice(1);  // after "Enter your name: ..."
  const states = [];
  let name = "", desc = [], fresh = true, labels = [], ended = false;
  for (const line of lines) {
    const label = line.match(/^ *\d+\)(.*)$/);
    ended = false;
    if (line.startsWith("==")) {
      [name, fresh] = [line.slice(2), true];
    } else if (line === "[continue]" || line.startsWith("> ")) {
      states.push({ name, desc: desc.join("\n"), wait: line[0] === "[" ? "key" : "menu",
                    ...(line[0] === ">" && { labels }) });
      [labels, fresh] = [[], true];
    } else if (label) {
      labels.push(label[1]);
    } else {
      [desc, fresh, ended] = [fresh ? [line] : [...desc, line], false, true];
    }
  }
  if (ended) states.push({ name, desc: lines[lines.length - 1], wait: "key" });
  return { states, ended };
}

async function main() {
  const page = path.join(work, "page.html");
  const web = spawnSync(zokc, ["web", ...(dir.startsWith(work) ? ["--force"] : []), dir, "-o", page]);
  if (web.status !== 0) throw new Error(`zokc web failed: ${web.stderr}`);
  const expected = transcript();
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium", headless: true,
    userDataDir: path.join(work, "profile"),
    args: ["--no-sandbox", "--headless", "--disable-gpu", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync"],
  });
  try {
    const tab = await browser.newPage();
    const problems = [];
    let crash;
    const crashed = new Promise((_, reject) => { crash = reject; });
    crashed.catch(() => {});
    tab.on("pageerror", error => crash(new Error(`page error: ${error.message}`)));
    tab.on("request", request => /^(file|data):/.test(request.url()) ||
                                 problems.push(`the page asked the network for ${request.url()}`));
    await tab.goto("file://" + page);
    // What the page shows once it next asks the player something.
    let waits = 0;
    const next = async () => {
      const shown = await Promise.race([crashed, tab.waitForFunction(n => {
        if (!(zokPage.waits > n && zokPage.kind)) return false;
        const text = id => document.getElementById(id).textContent;
        const options = document.getElementById("options");
        return { name: text("name"), desc: text("desc").replace(/\n$/, ""), wait: zokPage.kind,
                 ...(!options.hidden && { labels: [...options.children].map(li => li.textContent) }),
                 title: document.getElementById("title").hidden ? "" : text("title"),
                 waits: zokPage.waits, turn: zokPage.turn };
      }, { timeout: 20000 }, waits).then(handle => handle.jsonValue())]);
      waits = shown.waits;
      return shown;
    };
    const goOn = () => mouse ? tab.click("#desc") : tab.keyboard.press("x");
    const title = await next();
    if (!title.title.includes("ZOK 0.1")) throw new Error(`no title screen: ${JSON.stringify(title)}`);
    await goOn();
    if ((await next()).wait !== "name") throw new Error("no name entry after the title");
    await tab.keyboard.type(answerLines[0]);
    await tab.keyboard.press("Enter");

    const turns = [];
    let n = 1;
    for (; ; n++) {
      const { title: _, waits: __, turn, ...state } = await next();
      turns.push(turn);
      if (JSON.stringify(state) !== JSON.stringify(expected.states[n - 1])) {
        throw new Error(`at wait ${n} after the name, the page shows\n${JSON.stringify(state, null, 1)}\n` +
                        `where zokc play shows\n${JSON.stringify(expected.states[n - 1], null, 1)}`);
      }
      if (n >= answerLines.length) break;
      const choice = Number(answerLines[n]), count = state.labels?.length;
      if (state.wait === "key") {
        await goOn();
      } else if (mouse) {
        await tab.click(`#options li:nth-child(${choice})`);
      } else {
        for (let k = 0; k < count; k++) await tab.keyboard.press("ArrowDown");
        for (let k = choice; k < count; k++) await tab.keyboard.press("ArrowUp");
        await tab.keyboard.press("Enter");
      }
    }
    if (n !== expected.states.length) throw new Error(`the page asked ${n} times, zokc play ${expected.states.length}`);
    if (expected.ended) {
      await goOn();
      if ((await next()).wait !== "again") throw new Error("no offer to play again after the ending");
      await (mouse ? tab.click("#again") : tab.keyboard.press("Enter"));
      if (!(await next()).title) throw new Error("playing again does not start at the title screen");
    }
    if (problems.length) throw new Error(problems.join("\n"));
    turns.sort((a, b) => a - b);
    console.log(`${n} waits compared; opened to title in ${title.turn.toFixed(0)} ms; key to screen in the page: ` +
                `median ${turns[turns.length >> 1].toFixed(1)} ms, most ${turns[turns.length - 1].toFixed(1)} ms`);
  } finally {
    await browser.close();
  }
}

main().catch(error => { console.error(`${source}: ${error.message}`); process.exitCode = 1; })
  .finally(() => fs.rmSync(work, { recursive: true, force: true }));
