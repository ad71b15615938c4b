// Headless Chromium driven over the DevTools protocol on a pipe, and the
// page driven through it as a user would: controls found by the names a
// screen reader speaks, clicked with the mouse, typed into with the keys.
import { spawn } from "node:child_process";
import { mkdtempSync, readFileSync, readdirSync, rmSync, existsSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

export const pagePath = process.env.FREQIMG_PAGE;

export class Browser {
  static async launch() {
    const browser = new Browser();
    browser.profile = mkdtempSync(join(tmpdir(), "freqimg-browser-"));
    browser.downloads = join(browser.profile, "downloads");
    browser.process = spawn(process.env.CHROMIUM || "chromium", [
      "--headless=new", "--remote-debugging-pipe", "--no-sandbox", "--disable-gpu",
      "--no-first-run", "--no-default-browser-check", "--disable-extensions",
      "--hide-scrollbars", "--font-render-hinting=none",
      `--user-data-dir=${browser.profile}`, "about:blank",
    ], { stdio: ["ignore", "ignore", "ignore", "pipe", "pipe"], detached: true });
    // A group of its own, which Chromium's helpers join: ended as a whole,
    // even when the test itself ends early.
    browser.group = browser.process.pid;
    browser.exited = new Promise((resolve) => browser.process.once("exit", resolve));
    browser.endAtExit = () => signalGroup(browser.group, "SIGKILL");
    process.once("exit", browser.endAtExit);
    // A command sent as the browser ends finds its pipe closed.
    browser.process.stdio[3].on("error", () => {});
    browser.next = 1;
    browser.waiting = new Map();
    browser.listeners = [];
    let pending = "";
    browser.process.stdio[4].on("data", (chunk) => {
      pending += chunk.toString("utf8");
      let end;
      while ((end = pending.indexOf("\0")) >= 0) {
        const message = JSON.parse(pending.slice(0, end));
        pending = pending.slice(end + 1);
        browser.receive(message);
      }
    });
    await browser.call("Browser.getVersion");
    await browser.call("Browser.setDownloadBehavior",
      { behavior: "allowAndName", downloadPath: browser.downloads, eventsEnabled: true });
    return browser;
  }

  receive(message) {
    if (message.id !== undefined) {
      const { resolve, reject, method } = this.waiting.get(message.id);
      this.waiting.delete(message.id);
      if (message.error) reject(new Error(`${method}: ${message.error.message}`));
      else resolve(message.result);
      return;
    }
    for (const listen of [...this.listeners]) listen(message);
  }

  call(method, params = {}, sessionId = undefined) {
    const id = this.next++;
    this.process.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + "\0");
    return new Promise((resolve, reject) => this.waiting.set(id, { resolve, reject, method }));
  }

  // The next event `method` for which `test` holds.
  event(method, test = () => true, ms = 20000) {
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.listeners = this.listeners.filter((l) => l !== listen);
        reject(new Error(`no ${method} in ${ms} ms`));
      }, ms);
      const listen = (message) => {
        if (message.method === method && test(message.params, message)) {
          clearTimeout(timer);
          this.listeners = this.listeners.filter((l) => l !== listen);
          resolve(message.params);
        }
      };
      this.listeners.push(listen);
    });
  }

  async newPage({ before = "", width = 1100, height = 900, scale = 1 } = {}) {
    const { targetId } = await this.call("Target.createTarget", { url: "about:blank" });
    const { sessionId } = await this.call("Target.attachToTarget", { targetId, flatten: true });
    const page = new Page(this, sessionId, targetId);
    await page.call("Page.enable");
    await page.call("Runtime.enable");
    await page.call("DOM.enable");
    await page.call("Page.setInterceptFileChooserDialog", { enabled: true });
    await page.call("Emulation.setDeviceMetricsOverride",
      { width, height, deviceScaleFactor: scale, mobile: false });
    if (before) await page.call("Page.addScriptToEvaluateOnNewDocument", { source: before });
    page.errors = [];
    page.dialogs = [];
    page.questions = [];
    page.answers = [];
    this.listeners.push((m) => {
      if (m.sessionId !== sessionId) return;
      if (m.method === "Runtime.exceptionThrown")
        page.errors.push(m.params.exceptionDetails.exception?.description || m.params.exceptionDetails.text);
      // A question the page asks is answered as the test says (yes, unless
      // page.answers holds the next answer), and counted with its words.
      if (m.method === "Page.javascriptDialogOpening") {
        page.dialogs.push(m.params.type);
        page.questions.push(m.params.message);
        const accept = page.answers.length ? page.answers.shift() : true;
        page.call("Page.handleJavaScriptDialog", { accept });
      }
    });
    await page.open();
    return page;
  }

  async close() {
    await within(this.call("Browser.close").catch(() => {}), 5000);
    await endBrowser(this);
  }
}

// Ends a browser that was asked to close and every process it started
// ({group, exited, profile, endAtExit}), waits until they are gone, then
// removes the profile they wrote. A profile that still cannot be removed
// is left behind with a word, never a test failure.
export async function endBrowser(browser) {
  if (!(await within(browser.exited, 5000))) signalGroup(browser.group, "SIGTERM");
  await browser.exited;
  if (!(await groupEnded(browser.group, 10000))) {
    signalGroup(browser.group, "SIGKILL");
    await groupEnded(browser.group, 10000);
  }
  process.off("exit", browser.endAtExit);
  try {
    rmSync(browser.profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 100 });
  } catch (error) {
    console.log(`left the browser's profile ${browser.profile}: ${error.message}`);
  }
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Whether `promise` settles within `ms`.
export function within(promise, ms) {
  let timer;
  const late = new Promise((resolve) => (timer = setTimeout(resolve, ms, false)));
  return Promise.race([promise.then(() => true), late]).finally(() => clearTimeout(timer));
}

export function signalGroup(group, signal) {
  try {
    process.kill(-group, signal);
  } catch {
    // the group has already gone
  }
}

// Whether a process of `group` still runs (one that has ended but is not
// yet reaped by its parent writes nothing more).
function groupRuns(group) {
  for (const pid of readdirSync("/proc")) {
    if (!/^[0-9]+$/.test(pid)) continue;
    let stat;
    try {
      stat = readFileSync(`/proc/${pid}/stat`, "utf8");
    } catch {
      continue; // ended while being looked at
    }
    const [state, , pgrp] = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
    if (Number(pgrp) === group && state !== "Z" && state !== "X") return true;
  }
  return false;
}

async function groupEnded(group, ms) {
  for (const end = Date.now() + ms; groupRuns(group);) {
    if (Date.now() > end) return false;
    await sleep(50);
  }
  return true;
}

export class Page {
  constructor(browser, sessionId, targetId) {
    this.browser = browser;
    this.sessionId = sessionId;
    this.targetId = targetId;
  }

  call(method, params = {}) {
    return this.browser.call(method, params, this.sessionId);
  }

  // Loads the page afresh. The browser lets a page save only so many
  // files before it asks the user, which a test cannot answer: each test
  // that saves many starts a new page every few.
  async open() {
    this.saved = 0;
    const loaded = this.browser.event("Page.loadEventFired", (p, m) => m.sessionId === this.sessionId);
    await this.call("Page.navigate", { url: pathToFileURL(pagePath).href });
    await loaded;
    await this.until("document.body.dataset.ready === 'true'");
  }

  async evaluate(expression) {
    const { result, exceptionDetails } = await this.call("Runtime.evaluate",
      { expression, awaitPromise: true, returnByValue: true });
    if (exceptionDetails) throw new Error(`${expression}: ${exceptionDetails.exception?.description || exceptionDetails.text}`);
    return result.value;
  }

  async until(expression, ms = 20000) {
    const end = Date.now() + ms;
    for (;;) {
      const value = await this.evaluate(expression);
      if (value) return value;
      if (Date.now() > end) throw new Error(`still not true after ${ms} ms: ${expression}`);
      await new Promise((r) => setTimeout(r, 20));
    }
  }

  // The element a screen reader names `name`, in the role given.
  async find(name, role = "button") {
    const { root } = await this.call("DOM.getDocument", { depth: 0 });
    const { nodes } = await this.call("Accessibility.queryAXTree",
      { nodeId: root.nodeId, accessibleName: name, role });
    const found = nodes.filter((n) => !n.ignored);
    if (found.length !== 1) throw new Error(`${found.length} ${role}s named "${name}"`);
    return found[0].backendDOMNodeId;
  }

  async click(name, role = "button") {
    const backendNodeId = await this.find(name, role);
    // To the middle of the window, clear of the bar fixed at its foot.
    const { object } = await this.call("DOM.resolveNode", { backendNodeId });
    await this.call("Runtime.callFunctionOn",
      { objectId: object.objectId, functionDeclaration: "function () { this.scrollIntoView({ block: 'center' }); }" });
    const { model } = await this.call("DOM.getBoxModel", { backendNodeId });
    const [x1, y1, , , x3, y3] = model.content;
    const x = (x1 + x3) / 2, y = (y1 + y3) / 2;
    for (const type of ["mousePressed", "mouseReleased"])
      await this.call("Input.dispatchMouseEvent", { type, x, y, button: "left", clickCount: 1 });
  }

  // Drags `file` from outside the browser and drops it on the element with
  // the id `target`.
  async drop(target, file) {
    const { root } = await this.call("DOM.getDocument", { depth: 0 });
    const { nodeId } = await this.call("DOM.querySelector", { nodeId: root.nodeId, selector: `#${target}` });
    const { object } = await this.call("DOM.resolveNode", { nodeId });
    await this.call("Runtime.callFunctionOn",
      { objectId: object.objectId, functionDeclaration: "function () { this.scrollIntoView({ block: 'start' }); }" });
    const { model } = await this.call("DOM.getBoxModel", { nodeId });
    const [x1, y1, , , x3, y3] = model.content;
    const data = { items: [], files: [file], dragOperationsMask: 1 };
    const at = { x: (x1 + x3) / 2, y: (y1 + Math.min(y3, y1 + 200)) / 2, data };
    for (const type of ["dragEnter", "dragOver", "drop"])
      await this.call("Input.dispatchDragEvent", { type, ...at });
  }

  // Clicks `name` and gives `file` to the file chooser it opens.
  async chooseFile(name, file) {
    const opened = this.browser.event("Page.fileChooserOpened", (p, m) => m.sessionId === this.sessionId);
    await this.click(name);
    const { backendNodeId } = await opened;
    await this.call("DOM.setFileInputFiles", { files: [file], backendNodeId });
  }

  // Opens the file `path` through the control `name` ("Open a channel
  // list", "Open upload.bin or a backup") and waits until the page has
  // checked it.
  async openFile(name, path) {
    const done = name === "Open upload.bin or a backup" ? "document.getElementById('report').dataset.shown" : "document.body.dataset.checks";
    const before = await this.evaluate(`${done} || ""`);
    await this.chooseFile(name, path);
    await this.until(`(${done} || "") !== "${before}"`);
  }

  // Clicks `name` and returns the file it saves: {name, bytes}.
  async download(name) {
    if (++this.saved > 6) {
      throw new Error("a page saves at most six files: call fresh() first");
    }
    const begun = this.browser.event("Browser.downloadWillBegin");
    const done = new Set();
    const listen = (m) => {
      if (m.method === "Browser.downloadProgress" && m.params.state === "completed") done.add(m.params.guid);
    };
    this.browser.listeners.push(listen);
    await this.click(name);
    const { guid, suggestedFilename } = await begun;
    const end = Date.now() + 20000;
    while (!done.has(guid)) {
      if (Date.now() > end) throw new Error(`${name}: the download did not end`);
      await new Promise((r) => setTimeout(r, 10));
    }
    this.browser.listeners = this.browser.listeners.filter((l) => l !== listen);
    const path = join(this.browser.downloads, guid);
    const bytes = readFileSync(path);
    rmSync(path);
    return { name: suggestedFilename, bytes };
  }

  // Loads the page afresh when it has saved files.
  async fresh() {
    if (this.saved > 0) await this.open();
  }

  async focus(name, role = "textbox") {
    const backendNodeId = await this.find(name, role);
    await this.call("DOM.focus", { backendNodeId });
  }

  async key(key, code = key, keyCode = 0, text = undefined) {
    await this.call("Input.dispatchKeyEvent", { type: text ? "keyDown" : "rawKeyDown", key, code, text, windowsVirtualKeyCode: keyCode });
    await this.call("Input.dispatchKeyEvent", { type: "keyUp", key, code, windowsVirtualKeyCode: keyCode });
  }

  async close() {
    await this.browser.call("Target.closeTarget", { targetId: this.targetId });
  }

  // Replaces what the field named `name` holds with `text`, typed.
  async type(name, text) {
    await this.focus(name);
    await this.evaluate("document.activeElement.select()");
    await this.call("Input.dispatchKeyEvent", { type: "rawKeyDown", key: "Delete", code: "Delete", windowsVirtualKeyCode: 46 });
    await this.call("Input.dispatchKeyEvent", { type: "keyUp", key: "Delete", code: "Delete", windowsVirtualKeyCode: 46 });
    for (const c of text) await this.call("Input.insertText", { text: c });
  }

  // What the page says: [{kind, text}] in the table, or in the Report.
  messages(where = "#channels") {
    return this.evaluate(`[...document.querySelectorAll("${where} .messages p")].map((p) =>
      ({ kind: p.className, text: p.textContent.replace(/^\\S+ (Error|Warning): /, "") }))`);
  }
}

export function exists(path) {
  return existsSync(path);
}
