// The page's open, edit and save path in Firefox, as in Chromium: the
// example list opened, a field edited, its fault shown in freqimg's words,
// the field mended, and the list and upload.bin saved, the same bytes as
// Chromium saves and as freqimg makes from the list saved.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { Browser } from "./browser.mjs";
import { Firefox } from "./firefox.mjs";
import { exampleList, freqimg, pageWords } from "./native.mjs";

let firefox, chromium, page;

before(async () => {
  [firefox, chromium] = await Promise.all([Firefox.launch(), Browser.launch()]);
  page = await chromium.newPage();
});
after(() => Promise.all([firefox.close(), chromium.close()]));

const example = readFileSync(exampleList, "latin1");
const fault = 'freq.dat:4: channel 3 transmit field "47642G" is not six hex digits';

test("Firefox opens, checks and saves a list as Chromium does", async () => {
  await firefox.open();
  const checks = () => firefox.evaluate("return document.body.dataset.checks");
  let before = await checks();
  await firefox.chooseFile("Open a channel list", exampleList, "list-file");
  await firefox.until(`return document.body.dataset.checks !== "${before}"`);
  const said = () => firefox.evaluate(`return [...document.querySelectorAll("#m3 p")].map((p) =>
    p.textContent.replace(/^\\S+ (Error|Warning): /, ""))`);

  const edited = freqimg(Buffer.from(example.replace("477175", "47642G"), "latin1"));
  assert.deepEqual(edited.messages, [fault]);
  await firefox.type("Channel 3 transmit", "47642G");
  assert.deepEqual(await said(), edited.messages.map(pageWords));
  assert.equal(await firefox.evaluate("return document.getElementById('f10').getAttribute('aria-invalid')"), "true");
  await firefox.type("Channel 3 transmit", "476500");
  assert.deepEqual(await said(), []);

  const list = await firefox.download("Save the channel list");
  const stream = await firefox.download("Save upload.bin");
  assert.equal(list.name, "freq.dat");
  assert.equal(stream.name, "upload.bin");
  const native = freqimg(list.bytes);
  assert.equal(native.status, 0, native.messages.join("\n"));
  assert.ok(stream.bytes.equals(native.stdout), "upload.bin is not the stream freqimg makes of the list saved");

  // The same path in Chromium saves the same bytes.
  await page.openFile("Open a channel list", exampleList);
  await page.type("Channel 3 transmit", "47642G");
  assert.deepEqual(await page.evaluate(`[...document.querySelectorAll("#m3 p")].map((p) =>
    p.textContent.replace(/^\\S+ (Error|Warning): /, ""))`), edited.messages.map(pageWords));
  await page.type("Channel 3 transmit", "476500");
  assert.ok((await page.download("Save the channel list")).bytes.equals(list.bytes), "Chromium saves another freq.dat");
  assert.ok((await page.download("Save upload.bin")).bytes.equals(stream.bytes), "Chromium saves another upload.bin");
});
