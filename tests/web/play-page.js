#!/usr/bin/env node
// Plays a game's web page (zokc web) in headless Chromium and `zokc play
// --replay` with the same answers, and compares what each shows at every
// wait: the name line, the description, the menu's labels. Then, after an
// ending, checks that the page offers to play again.
//
//   play-page.js ZOKC_DIR CASE             a case file: '@@ map NAME' (\t \0
//                                           \xHH \\ stand for bytes), '@@ answers'
//                                           as a zokc play replay, and '@@ mouse'
//                                           to answer by clicks and taps, '@@ game'
//                                           to play the bundled game; a section
//                                           whose head ends in ' =' holds a
//                                           JavaScript expression giving its text
//   play-page.js ZOKC_DIR DIR ANSWERS      a game folder and a replay file
//
// Keys answer as a player would: a letter goes on, and option n of m is
// reached by Down m times (past the last) and Up m - n times, then Enter.
"use strict";
const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const puppeteer = require("puppeteer-core");

const [zokcDir, source, answersFile] = process.argv.slice(2);
const zokc = path.resolve(zokcDir, "zokc");
const work = fs.mkdtempSync(path.join(os.tmpdir(), "zok-web-"));
const fail = message => { console.error(`${source}: ${message}`); process.exitCode = 1; };

// The game folder, the answers and how to give them.
let dir = path.resolve(source), answers, mouse = false, force = [];
if (answersFile) {
  answers = fs.readFileSync(answersFile, "utf8");
} else {
  dir = path.join(work, "game");
  fs.mkdirSync(dir);
  const parts = fs.readFileSync(source, "latin1").split(/^@@ (.*)\n/m).slice(1);
  for (let i = 0; i < parts.length; i += 2) {
    const [kind, arg, computed] = parts[i].split(" ");
    const body = computed === "=" || arg === "=" ? String(eval(parts[i + 1])) : parts[i + 1];
    if (kind === "map") {
      const bytes = body.replace(/\\(x[0-9A-Fa-f]{2}|[t0\\])/g, (_, e) =>
        e === "t" ? "\t" : e === "0" ? "\0" : e === "\\" ? "\\" : String.fromCharCode(parseInt(e.slice(1), 16)));
      fs.mkdirSync(path.dirname(path.join(dir, arg)), { recursive: true });
      fs.writeFileSync(path.join(dir, arg + ".zok"), Buffer.from(bytes, "latin1"));
    } else if (kind === "answers") {
      answers = Buffer.from(body, "latin1").toString("utf8");
    } else if (kind === "mouse") {
      mouse = true;
    } else if (kind === "game") {
      dir = path.resolve(__dirname, "../../game");
    } else {
      throw new Error(`unknown section: ${kind}`);
    }
  }
  if (dir.startsWith(work)) force = ["--force"];  // a case may hold the errors it tests
}
const answerLines = answers.split("\n");
if (answerLines[answerLines.length - 1] === "") answerLines.pop();
fs.writeFileSync(path.join(work, "answers"), answers);

// What zokc play shows at each wait, and at the end.
function transcriptStates() {
  let output;
  try {
    output = execFileSync(zokc, ["play", "--replay", path.join(work, "answers"), path.basename(dir)],
                          { cwd: path.dirname(dir), input: "", encoding: "utf8" });
  } catch (error) {
    output = error.stdout;  // a missing map or an idle one ends with status 1
  }
  const lines = output.split("\n").slice(1);  // after "Enter your name: ..."
  if (lines[lines.length - 1] === "") lines.pop();
  const states = [];
  let name = "", desc = [], fresh = true, labels = [], ended = true;
  for (const line of lines) {
    ended = false;
    const label = line.match(/^ *\d+\)(.*)$/);
    if (line.startsWith("==")) {
      name = line.slice(2);
      fresh = true;
    } else if (line === "[continue]") {
      states.push({ name, desc: desc.join("\n"), wait: "key" });
      fresh = true;
    } else if (label) {
      labels.push(label[1]);
    } else if (line.startsWith("> ")) {
      states.push({ name, desc: desc.join("\n"), wait: "menu", labels });
      labels = [];
      fresh = true;
    } else {
      desc = fresh ? [line] : [...desc, line];
      fresh = false;
      ended = true;
    }
  }
  // The ending, or why play stopped: one line, which replaces the description.
  if (ended) states.push({ name, desc: lines[lines.length - 1], wait: "key" });
  return { states, ended };
}

async function main() {
  const page = path.join(work, "page.html");
  execFileSync(zokc, ["web", ...force, dir, "-o", page], { stdio: ["ignore", "ignore", "inherit"] });
  const expected = transcriptStates();

  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    userDataDir: path.join(work, "profile"),
    args: ["--no-sandbox", "--headless", "--disable-gpu", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync"],
  });
  try {
    const tab = await browser.newPage();
    tab.on("pageerror", error => fail(`page error: ${error.message}`));
    tab.on("request", request => {
      if (!/^(file|data):/.test(request.url())) fail(`the page asked the network for ${request.url()}`);
    });
    await tab.goto("file://" + page);
    // What the page shows once it next asks the player something.
    let waits = 0;
    const next = async () => {
      const shown = await tab.waitForFunction(n => {
        if (!(zokPage.waits > n && zokPage.kind)) return false;
        const text = id => document.getElementById(id).textContent;
        const options = document.getElementById("options");
        const desc = text("desc");
        return {
          name: text("name"), desc: desc.endsWith("\n") ? desc.slice(0, -1) : desc,
          wait: zokPage.kind, labels: options.hidden ? undefined : [...options.children].map(li => li.textContent),
          title: document.getElementById("title").hidden ? undefined : text("title"),
          waits: zokPage.waits, turn: zokPage.turn,
        };
      }, { timeout: 20000 }, waits).then(handle => handle.jsonValue());
      waits = shown.waits;
      return shown;
    };
    const title = await next();
    const toTitle = title.turn;  // from the start of the page's loading
    if (!title.title || !title.title.includes("ZOK 0.1")) fail(`no title screen: ${JSON.stringify(title)}`);
    await (mouse ? tab.click("#screen") : tab.keyboard.press("x"));
    if ((await next()).wait !== "name") fail("no name entry after the title");
    await tab.keyboard.type(answerLines[0] || "");
    await tab.keyboard.press("Enter");

    // Each wait as zokc play shows it, then the answer to it.
    const turns = [];
    let n = 1;
    for (; ; n++) {
      const { title: _, waits: __, turn, ...state } = await next();
      if (n > 1) turns.push(turn);
      if (JSON.stringify(state) !== JSON.stringify(expected.states[n - 1])) {
        throw new Error(`at wait ${n} after the name, the page shows\n${JSON.stringify(state, null, 1)}\n` +
                        `where zokc play shows\n${JSON.stringify(expected.states[n - 1], null, 1)}`);
      }
      if (n >= answerLines.length) break;
      if (state.wait === "key") {
        await (mouse ? tab.click("#desc") : tab.keyboard.press("x"));
      } else {
        const choice = Number(answerLines[n]), count = state.labels.length;
        if (mouse) {
          await tab.click(`#options li:nth-child(${choice})`);
        } else {
          for (let k = 0; k < count; k++) await tab.keyboard.press("ArrowDown");
          for (let k = choice; k < count; k++) await tab.keyboard.press("ArrowUp");
          await tab.keyboard.press("Enter");
        }
      }
    }
    if (n !== expected.states.length) throw new Error(`the page asked ${n} times, zokc play ${expected.states.length}`);
    if (expected.ended) {
      await (mouse ? tab.click("#desc") : tab.keyboard.press("x"));
      const offer = await next();
      if (offer.wait !== "again") fail(`no offer to play again after the ending: ${JSON.stringify(offer)}`);
      await (mouse ? tab.click("#again") : tab.keyboard.press("Enter"));
      if (!(await next()).title) fail("playing again does not start at the title screen");
    }
    turns.sort((a, b) => a - b);
    console.log(`${n} waits compared; opened to title in ${toTitle.toFixed(0)} ms; key to screen in the page: ` +
                `median ${turns[turns.length >> 1]?.toFixed(1)} ms, most ${turns[turns.length - 1]?.toFixed(1)} ms`);
  } finally {
    await browser.close();
  }
}

main().catch(error => fail(error.stack || String(error)))
  .finally(() => fs.rmSync(work, { recursive: true, force: true }));
