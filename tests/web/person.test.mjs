// The page for every person: a message shown and cleared as a field is
// typed, every control named for a screen reader and reached by the
// keyboard, nothing said by colour alone, the page whole at 200% zoom and
// on a narrow window, and a browser without Web Serial told why in one
// line. Keeps a screenshot of the page with the example list.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { Browser } from "./browser.mjs";
import { readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { exampleList, freqimg, source } from "./native.mjs";

let browser, page;

before(async () => {
  browser = await Browser.launch();
  page = await browser.newPage();
});
after(() => browser.close());

const controls = ["Open a channel list", "Save the channel list", "Save upload.bin", "Open a stream",
  "Send to the radio", "Stop", "Capture a backup"];

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
    assert.deepEqual(shown.map((t) => t.replace(/^\S+ (Error|Warning): /, "")), native, typed);
    const invalid = await page.evaluate("document.getElementById('f10').getAttribute('aria-invalid')");
    assert.equal(invalid, said && !said.includes("warning") ? "true" : "false", typed);
    // Said in words and by a sign, not by colour alone.
    for (const text of shown) assert.match(text, /^(\u2716 Error|\u26a0 Warning): /);
  }
  // A frequency written in MHz becomes its entry once the field is left.
  await page.type("Channel 3 transmit", "477.175");
  await page.key("Tab", "Tab", 9);
  assert.equal(await page.evaluate("document.getElementById('f10').value"), "477175");
  assert.equal(await page.evaluate("document.getElementById('r10').textContent"), "477.175 MHz");
  // New messages are announced.
  await page.type("Channel 5 receive", "x");
  assert.match(await page.evaluate("document.getElementById('announce').textContent"), /channel 5 receive field "x"/);
  await page.type("Channel 5 receive", "476525");
  // Edits not saved are not lost to a page left by mistake: it asks.
  await page.open();
  assert.deepEqual(page.dialogs, ["beforeunload"]);
  assert.deepEqual(page.errors, []);
});

test("every control has a spoken name, and the keyboard alone reaches each one", async () => {
  for (const name of controls) await page.find(name);
  await page.find("Report", "region");
  const { nodes } = await page.call("Accessibility.getFullAXTree");
  const unnamed = nodes.filter((n) => !n.ignored && ["button", "textbox", "checkbox", "combobox", "radio"].includes(n.role?.value) && !n.name?.value);
  assert.deepEqual(unnamed.map((n) => n.role.value), []);
  const reached = new Set();
  await page.evaluate("document.activeElement.blur(); window.scrollTo(0, 0)");
  for (let n = 0; n < 140; ++n) {
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

test("at 200% zoom and on a narrow window nothing runs off the side", async () => {
  for (const [width, scale] of [[640, 2], [360, 1]]) {
    await page.call("Emulation.setDeviceMetricsOverride", { width, height: 800, deviceScaleFactor: scale, mobile: false });
    const over = await page.evaluate("document.documentElement.scrollWidth - window.innerWidth");
    assert.ok(over <= 0, `${over} px too wide at ${width} px`);
  }
  await page.call("Emulation.setDeviceMetricsOverride", { width: 1100, height: 900, deviceScaleFactor: 1, mobile: false });
});

test("a browser without Web Serial says why in one line and keeps the rest", async () => {
  const plain = await browser.newPage({ before: "delete Navigator.prototype.serial;" });
  assert.equal(await plain.evaluate("document.getElementById('no-serial').hidden"), false);
  assert.match(await plain.evaluate("document.getElementById('no-serial').textContent"), /Chrome, Edge/);
  assert.equal(await plain.evaluate("document.getElementById('send').disabled && document.getElementById('capture').disabled"), true);
  await plain.openFile("Open a channel list", exampleList);
  const saved = await plain.download("Save upload.bin");
  assert.equal(saved.bytes.length, 2944);
  await plain.close();
  await page.call("Page.bringToFront");
});

test("a list dropped on the table and a stream dropped on the check are opened", async () => {
  await page.fresh();
  await page.drop("channels", exampleList);
  await page.until("document.getElementById('f4').value === '476425'");
  await page.drop("stream", join(source, "tests/data/example_stream.bin"));
  await page.until("document.getElementById('report-text').textContent.startsWith('Stream: 2944 bytes')");
});

test("a screenshot of the page with the example list", async () => {
  await page.fresh();
  await page.openFile("Open a channel list", exampleList);
  await page.evaluate("window.scrollTo(0, 0)");
  const { data } = await page.call("Page.captureScreenshot", { format: "png", captureBeyondViewport: false });
  writeFileSync(process.env.FREQIMG_SCREENSHOT, Buffer.from(data, "base64"));
});
