// The page for every person: its steps in the order the work goes, a
// message shown and cleared as a field is typed, every control named for a
// screen reader and reached by the keyboard, the table moved through like
// a grid, nothing said by colour alone, nothing a person made dropped
// without a question, the transfer's status in view wherever one scrolls,
// the page whole at 200% zoom and on narrow windows, a printed table, a
// browser without Web Serial or without what the page needs told why in
// one line. Keeps a screenshot of the page with the example list.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { Browser } from "./browser.mjs";
import { mkdirSync, readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { exampleList, exampleStream, fileOf, freqimg, pageWords, scratch, source } from "./native.mjs";

const model = readFileSync(join(import.meta.dirname, "model_serial.js"), "utf8");
let browser, page;

before(async () => {
  browser = await Browser.launch();
  page = await browser.newPage({ before: model });
});
after(() => browser.close());

const controls = ["Open a channel list", "Save the channel list", "Save as CSV", "Save upload.bin", "New list",
  "Open upload.bin or a backup", "Back up the radio", "Send to the radio", "Check the radio", "Stop",
  "Print the channel list"];

test("the steps read top to bottom as the work goes", async () => {
  const headings = await page.evaluate("[...document.querySelectorAll('main h2')].map((h) => h.textContent.trim())");
  assert.deepEqual(headings, ["1 Back up the radio", "2 Edit the channels", "3 Send to the radio", "4 Check the radio"]);
  // Looking into a saved file stays beside step 1; the labels are said once to stay here.
  assert.equal(await page.evaluate("document.getElementById('look').closest('section.step').id"), "backup-step");
  assert.match(await page.evaluate("document.getElementById('channels').textContent"), /labels stay on this computer: the radio stores only the frequencies/);
});

test("typing a field shows its message at its row, then clears it", async () => {
  await page.openFile("Open a channel list", exampleList);
  const example = readFileSync(exampleList, "latin1");
  const steps = [
    ["47717", 'freq.dat:4: channel 3 transmit field "47717" is not six hex digits'],
    ["47717a", 'freq.dat:4: warning: channel 3 transmit field "47717a" is not a frequency; it is sent as written'],
    ["477175", null],
  ];
  for (const [typed, said] of steps) {
    await page.type("Channel 3 transmit", typed);
    const shown = await page.evaluate("[...document.querySelectorAll('#m3 p')].map((p) => p.textContent)");
    const native = freqimg(Buffer.from(example.replace("477175", typed), "latin1")).messages;
    assert.deepEqual(native, said ? [said] : []);
    assert.deepEqual(shown.map((t) => t.replace(/^\S+ (Error|Warning): /, "")), native.map(pageWords), typed);
    const invalid = await page.evaluate("document.getElementById('f10').getAttribute('aria-invalid')");
    assert.equal(invalid, said && !said.includes("warning") ? "true" : "false", typed);
    // Said in words and by a sign, not by colour alone.
    for (const text of shown) assert.match(text, /^(\u2716 Error|\u26a0 Warning): /);
  }
  // A frequency written in MHz, or as the table reads it, becomes its
  // entry once the field is left.
  for (const typed of ["477.175", " 477175 ", "477.175 MHz"]) {
    await page.type("Channel 3 transmit", typed);
    await page.key("Tab", "Tab", 9);
    assert.equal(await page.evaluate("document.getElementById('f10').value"), "477175", typed);
    assert.equal(await page.evaluate("document.getElementById('r10').textContent"), "477.175 MHz");
  }
  // New messages are announced; the summary speaks plainly.
  await page.type("Channel 5 receive", "x");
  assert.match(await page.evaluate("document.getElementById('announce').textContent"), /channel 5 receive field "x"/);
  assert.match(await page.evaluate("document.getElementById('list-summary').textContent"), /^1 error, 0 warnings: fix the fields marked/);
  await page.type("Channel 5 receive", "476525");
  assert.equal(await page.evaluate("document.getElementById('list-summary').textContent"),
    "The list is ready to send: 16 channels in use, 4 blank.");
  // Edits not saved are not lost to a page left by mistake: it asks.
  await page.open();
  assert.deepEqual(page.dialogs, ["beforeunload"]);
  assert.deepEqual(page.errors, []);
});

test("nothing a person made is replaced without a question, and no keeps it", async () => {
  await page.openFile("Open a channel list", exampleList);
  await page.type("Channel 1 label", "Mine");
  await page.click("Channel 1 blank", "checkbox");
  const mine = () => page.evaluate("document.getElementById('f3').value");
  // New list, a list opened, a list dropped, channels taken from a stream:
  // each asks, and "no" keeps the table.
  await page.openFile("Open upload.bin or a backup", fileOf(exampleStream, "upload.bin"));
  const asks = [
    () => page.click("New list"),
    () => page.chooseFile("Open a channel list", exampleList),
    () => page.drop("channels", exampleList),
    () => page.click("Take these channels into the table"),
  ];
  for (const ask of asks) {
    const before = page.questions.length;
    page.answers.push(false);
    await ask();
    for (let n = 0; n < 250 && page.questions.length === before; ++n) await new Promise((r) => setTimeout(r, 20));
    assert.equal(page.questions.length, before + 1);
    assert.match(page.questions.at(-1), /replaces the channel list in the table, whose changes are not saved/);
    assert.equal(await mine(), "Mine");
  }
  // Yes replaces it; Blank unticked after a new list gives back nothing of
  // the old list's.
  await page.click("New list");
  await page.until("document.getElementById('f3').value === 'CH01'");
  await page.click("Channel 1 blank", "checkbox");
  assert.equal(await page.evaluate("document.getElementById('f4').value"), "-");
  // A backup not saved makes leaving ask too.
  await page.open();
  const dialogs = page.dialogs.length;
  await page.evaluate(`serialModel.port = { fifo: 128, incoming: { bytes: ${JSON.stringify([...exampleStream])} } };
    document.getElementById("speed").value = "115200"`);
  await page.click("Back up the radio");
  await page.until("document.getElementById('radio-status').textContent.startsWith('\\u2714 Backed up')", 30000);
  await page.open();
  assert.equal(page.dialogs.length, dialogs + 1);
  assert.equal(page.dialogs.at(-1), "beforeunload");
});

test("every control has a spoken name, and the keyboard alone reaches each one", async () => {
  await page.fresh();
  for (const name of controls) await page.find(name);
  await page.find("Report", "region");
  await page.find("Speed", "combobox");
  await page.find("Transfer", "progressbar");
  const { nodes } = await page.call("Accessibility.getFullAXTree");
  const unnamed = nodes.filter((n) => !n.ignored && ["button", "textbox", "checkbox", "combobox", "radio"].includes(n.role?.value) && !n.name?.value);
  assert.deepEqual(unnamed.map((n) => n.role.value), []);
  const reached = new Set();
  await page.evaluate("document.activeElement.blur(); window.scrollTo(0, 0)");
  for (let n = 0; n < 150; ++n) {
    await page.key("Tab", "Tab", 9);
    reached.add(await page.evaluate("document.activeElement.textContent.trim() || document.activeElement.getAttribute('aria-label') || document.activeElement.id"));
  }
  for (const name of controls.filter((c) => c !== "Stop")) assert.ok(reached.has(name), `${name} not reached`);
  assert.ok(reached.has("Channel 20 blank"));
  // Enter on a focused button works it: a new list.
  await page.focus("New list", "button");
  await page.key("Enter", "Enter", 13, "\r");
  await page.until("document.getElementById('f3').value === 'CH01'");
});

test("Up, Down and Enter move through the table's columns like a grid", async () => {
  await page.focus("Channel 3 transmit");
  const moves = [["ArrowDown", 40, "Channel 4 transmit"], ["Enter", 13, "Channel 5 transmit"], ["ArrowUp", 38, "Channel 4 transmit"]];
  for (const [key, code, name] of moves) {
    await page.key(key, key, code);
    assert.equal(await page.evaluate("document.activeElement.getAttribute('aria-label')"), name, key);
  }
});

test("cells pasted from a spreadsheet fill the table to the right and down; one value fills one field", async () => {
  await page.fresh();
  await page.focus("Channel 2 label");
  await page.evaluate(`(() => {
    const paste = (text) => {
      const data = new DataTransfer();
      data.setData("text/plain", text);
      document.activeElement.dispatchEvent(new ClipboardEvent("paste", { clipboardData: data, bubbles: true, cancelable: true }));
    };
    paste("Home\\t476.425\\t476.45\\r\\nShed\\t-\\t477\\r\\n");
  })()`);
  const fields = await page.evaluate("[6, 7, 8, 9, 10, 11].map((i) => document.getElementById('f' + i).value)");
  assert.deepEqual(fields, ["Home", "476425", "476450", "Shed", "-", "477000"]);
  await page.focus("Channel 9 receive");
  await page.call("Input.insertText", { text: "476.5" });
  assert.equal(await page.evaluate("document.getElementById('f29').value"), "476.5");
});

test("the transfer's progress, status and Stop stay in view wherever one has scrolled, and its end has a sign", async () => {
  await page.openFile("Open a channel list", exampleList);
  await page.evaluate(`serialModel.port = { fifo: 128 }; document.getElementById("speed").value = "1200"`);
  await page.click("Send to the radio");
  await page.until("serialModel.runs.at(-1)?.wire.length > 100");
  for (const y of [0, 100000]) {
    await page.evaluate(`window.scrollTo(0, ${y})`);
    const inView = await page.evaluate(`["progress", "radio-status", "stop"].every((id) => {
      const r = document.getElementById(id).getBoundingClientRect();
      return r.height > 0 && r.top >= 0 && r.bottom <= window.innerHeight;
    })`);
    assert.ok(inView, `scrolled to ${y}`);
  }
  await page.click("Stop");
  await page.until("document.getElementById('stop').disabled");
  assert.match(await page.evaluate("document.getElementById('radio-status').textContent"), /^\u25a0 Stopped: /);
  assert.equal(await page.evaluate("document.getElementById('radio-status').className"), "stopped");
});

test("at 200% zoom and on narrow windows nothing runs off the side, the Report included", async () => {
  await page.openFile("Open upload.bin or a backup", fileOf(exampleStream, "upload.bin"));
  for (const [width, scale] of [[640, 2], [380, 1], [360, 1]]) {
    await page.call("Emulation.setDeviceMetricsOverride", { width, height: 800, deviceScaleFactor: scale, mobile: false });
    const over = await page.evaluate("document.documentElement.scrollWidth - window.innerWidth");
    assert.ok(over <= 0, `${over} px too wide at ${width} px`);
    const report = await page.evaluate("(() => { const r = document.getElementById('report').getBoundingClientRect(); return r.right - window.innerWidth; })()");
    assert.ok(report <= 0, `the Report runs ${report} px off the side at ${width} px`);
  }
  await page.call("Emulation.setDeviceMetricsOverride", { width: 1100, height: 900, deviceScaleFactor: 1, mobile: false });
});

test("printing gives the channel table on one page, in MHz, with the date", async () => {
  await page.openFile("Open a channel list", exampleList);
  await page.evaluate("window.print = () => { window.printed = true; }");
  await page.click("Print the channel list");
  assert.equal(await page.evaluate("window.printed"), true);
  const rows = await page.evaluate("[...document.querySelectorAll('#print-rows tr')].map((tr) => [...tr.cells].map((c) => c.textContent).join(' '))");
  assert.equal(rows.length, 20);
  assert.equal(rows[2], "3 Repeater-01 477.175 476.425");
  assert.equal(rows[8], "9 Spare-09 blank blank");
  assert.notEqual(await page.evaluate("document.getElementById('print-date').textContent"), "");
  const { data } = await page.call("Page.printToPDF", { printBackground: false });
  const pages = Buffer.from(data, "base64").toString("latin1").match(/\/Type\s*\/Page[^s]/g);
  assert.equal(pages.length, 1);
});

test("a browser without Web Serial says why in one line and keeps the rest", async () => {
  const plain = await browser.newPage({ before: "delete Navigator.prototype.serial;" });
  assert.equal(await plain.evaluate("document.getElementById('no-serial').hidden"), false);
  assert.match(await plain.evaluate("document.getElementById('no-serial').textContent"), /Chrome, Edge, Opera and Firefox 151/);
  assert.equal(await plain.evaluate("['send', 'capture', 'check'].every((id) => document.getElementById(id).disabled)"), true);
  await plain.openFile("Open a channel list", exampleList);
  const saved = await plain.download("Save upload.bin");
  assert.equal(saved.bytes.length, 2944);
  await plain.close();
  await page.call("Page.bringToFront");
});

test("a browser that cannot run the page says so in one line", async () => {
  for (const [missing, script] of [["DecompressionStream", "delete window.DecompressionStream;"], ["WebAssembly", "delete window.WebAssembly;"]]) {
    const { targetId } = await browser.call("Target.createTarget", { url: "about:blank" });
    const { sessionId } = await browser.call("Target.attachToTarget", { targetId, flatten: true });
    const call = (method, params = {}) => browser.call(method, params, sessionId);
    await call("Page.enable");
    await call("Page.addScriptToEvaluateOnNewDocument", { source: script });
    const loaded = browser.event("Page.loadEventFired", (p, m) => m.sessionId === sessionId);
    await call("Page.navigate", { url: `file://${process.env.FREQIMG_PAGE}` });
    await loaded;
    const { result } = await call("Runtime.evaluate", { expression: "document.getElementById('cannot-run').hidden ? '' : document.getElementById('cannot-run').textContent", returnByValue: true });
    assert.match(result.value, new RegExp(`^This browser cannot run the page: it has no ${missing}\\.`));
    await browser.call("Target.closeTarget", { targetId });
  }
  await page.call("Page.bringToFront");
});

test("a list dropped on the table and a stream dropped beside step 1 are opened; a folder is refused in words", async () => {
  await page.fresh();
  await page.open();
  await page.drop("channels", exampleList);
  await page.until("document.getElementById('f4').value === '476425'");
  await page.drop("look", join(source, "tests/data/example_stream.bin"));
  await page.until("document.getElementById('report-text').textContent.startsWith('Stream: 2944 bytes')");
  const folder = join(scratch, "a-folder");
  mkdirSync(folder, { recursive: true });
  await page.drop("channels", folder);
  await page.until("/is a folder|a folder cannot be opened/.test(document.getElementById('list-summary').textContent)");
});

test("a screenshot of the four steps with the example list", async () => {
  await page.open();
  await page.openFile("Open a channel list", exampleList);
  await page.openFile("Open upload.bin or a backup", fileOf(exampleStream, "backup.bin"));
  // A window as tall as the page: the transfer bar at its foot, where it
  // stays when nothing moves.
  const { cssContentSize } = await page.call("Page.getLayoutMetrics");
  const height = Math.ceil(cssContentSize.height);
  await page.call("Emulation.setDeviceMetricsOverride", { width: 1100, height, deviceScaleFactor: 0.5, mobile: false });
  const { data } = await page.call("Page.captureScreenshot", { format: "png" });
  writeFileSync(process.env.FREQIMG_SCREENSHOT, Buffer.from(data, "base64"));
  await page.call("Emulation.setDeviceMetricsOverride", { width: 1100, height: 900, deviceScaleFactor: 1, mobile: false });
});
