// Headless Firefox driven over Marionette, its own protocol on a local
// socket (length-prefixed JSON), with nothing but Node's standard library;
// and the page in it as a user uses it: controls found by the names a
// screen reader speaks (the browser's computed label and role), clicked,
// typed into, and files saved to a folder of the test's own.
import { spawn } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync } from "node:fs";
import { connect } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import { endBrowser, pagePath, signalGroup, within } from "./browser.mjs";

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A profile that asks nothing: files are saved to `downloads` at once, and
// nothing is fetched from elsewhere.
function preferences(downloads) {
  const prefs = {
    "marionette.port": 0, // any free port, written to MarionetteActivePort
    "browser.download.folderList": 2,
    "browser.download.dir": downloads,
    "browser.download.useDownloadDir": true,
    "browser.download.always_ask_before_handling_new_types": false,
    "browser.download.start_downloads_in_tmp_dir": false,
    "browser.download.alwaysOpenPanel": false,
    "browser.helperApps.neverAsk.saveToDisk": "application/octet-stream,text/plain",
    "browser.shell.checkDefaultBrowser": false,
    "app.update.disabledForTesting": true,
    "datareporting.policy.dataSubmissionEnabled": false,
    "network.connectivity-service.enabled": false,
    "browser.safebrowsing.update.enabled": false,
  };
  return Object.entries(prefs).map(([k, v]) => `user_pref(${JSON.stringify(k)}, ${JSON.stringify(v)});\n`).join("");
}

export class Firefox {
  static async launch() {
    const firefox = new Firefox();
    firefox.profile = mkdtempSync(join(tmpdir(), "freqimg-firefox-"));
    firefox.downloads = join(firefox.profile, "downloads");
    writeFileSync(join(firefox.profile, "user.js"), preferences(firefox.downloads));
    firefox.process = spawn(process.env.FIREFOX || "firefox-esr",
      ["-headless", "-marionette", "-no-remote", "-profile", firefox.profile, "about:blank"],
      { stdio: "ignore", detached: true });
    firefox.group = firefox.process.pid;
    firefox.exited = new Promise((resolve) => firefox.process.once("exit", resolve));
    firefox.endAtExit = () => signalGroup(firefox.group, "SIGKILL");
    process.once("exit", firefox.endAtExit);
    const portFile = join(firefox.profile, "MarionetteActivePort");
    for (let n = 0; !existsSync(portFile); ++n) {
      if (n > 600) throw new Error("Firefox did not start Marionette in 60 s");
      await sleep(100);
    }
    await sleep(50); // written whole
    await firefox.connect(Number(readFileSync(portFile, "utf8")));
    await firefox.call("WebDriver:NewSession", { capabilities: { alwaysMatch: { strictFileInteractability: false } } });
    return firefox;
  }

  connect(port) {
    this.next = 1;
    this.waiting = new Map();
    let pending = Buffer.alloc(0);
    return new Promise((resolve, reject) => {
      this.socket = connect(port, "127.0.0.1");
      this.socket.on("error", reject);
      this.socket.on("data", (chunk) => {
        pending = Buffer.concat([pending, chunk]);
        for (;;) {
          const colon = pending.indexOf(":");
          if (colon < 0) break;
          const length = Number(pending.subarray(0, colon).toString());
          if (pending.length < colon + 1 + length) break;
          const message = JSON.parse(pending.subarray(colon + 1, colon + 1 + length).toString());
          pending = pending.subarray(colon + 1 + length);
          if (!Array.isArray(message)) {
            resolve(); // the greeting
            continue;
          }
          const [, id, error, result] = message;
          const { settle, fail, command } = this.waiting.get(id);
          this.waiting.delete(id);
          if (error) fail(new Error(`${command}: ${error.error}: ${error.message}`));
          else settle(result);
        }
      });
    });
  }

  call(command, params = {}) {
    const id = this.next++;
    const text = JSON.stringify([0, id, command, params]);
    this.socket.write(`${Buffer.byteLength(text)}:${text}`);
    return new Promise((settle, fail) => this.waiting.set(id, { settle, fail, command }));
  }

  async evaluate(body, ...args) {
    return (await this.call("WebDriver:ExecuteScript", { script: body, args })).value;
  }

  async until(body, ms = 20000) {
    for (const end = Date.now() + ms; ;) {
      const value = await this.evaluate(body);
      if (value) return value;
      if (Date.now() > end) throw new Error(`still not true after ${ms} ms: ${body}`);
      await sleep(20);
    }
  }

  async open() {
    await this.call("WebDriver:Navigate", { url: pathToFileURL(pagePath).href });
    await this.until("return document.body.dataset.ready === 'true'");
  }

  // The one element a screen reader names `name`, in the role given.
  async find(name, role = "button") {
    const elements = await this.call("WebDriver:FindElements", { using: "css selector", value: "button, input, select, textarea, a" });
    const found = [];
    for (const element of elements) {
      const id = Object.values(element)[0];
      if ((await this.call("WebDriver:GetComputedLabel", { id })).value !== name) continue;
      if ((await this.call("WebDriver:GetComputedRole", { id })).value === role) found.push(id);
    }
    if (found.length !== 1) throw new Error(`${found.length} ${role}s named "${name}"`);
    return found[0];
  }

  async click(name, role = "button") {
    await this.call("WebDriver:ElementClick", { id: await this.find(name, role) });
  }

  // Replaces what the field named `name` holds with `text`, typed.
  async type(name, text) {
    const id = await this.find(name, "textbox");
    await this.call("WebDriver:ElementClear", { id });
    await this.call("WebDriver:ElementSendKeys", { id, text });
  }

  // Clicks `name` and gives `path` to the file chooser it opens: in
  // WebDriver, the file input behind the control.
  async chooseFile(name, path, input) {
    await this.find(name);
    const { value } = await this.call("WebDriver:FindElement", { using: "css selector", value: `#${input}` });
    await this.call("WebDriver:ElementSendKeys", { id: Object.values(value)[0], text: path });
  }

  // Clicks `name` and returns the file it saves: {name, bytes}.
  async download(name) {
    const before = new Set(existsSync(this.downloads) ? readdirSync(this.downloads) : []);
    await this.click(name);
    for (const end = Date.now() + 20000; Date.now() < end; await sleep(50)) {
      if (!existsSync(this.downloads)) continue;
      const done = readdirSync(this.downloads).filter((f) => !before.has(f) && !f.endsWith(".part"));
      if (done.length !== 1) continue;
      const path = join(this.downloads, done[0]);
      const size = statSync(path).size;
      await sleep(100);
      if (statSync(path).size !== size || existsSync(`${path}.part`)) continue;
      const bytes = readFileSync(path);
      rmSync(path);
      return { name: done[0], bytes };
    }
    throw new Error(`${name}: nothing was saved in 20 s`);
  }

  async close() {
    await within(this.call("Marionette:Quit", { flags: ["eForceQuit"] }).catch(() => {}), 10000);
    this.socket.destroy();
    await endBrowser(this);
  }
}
