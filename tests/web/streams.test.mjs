// The page's stream check against freqimg-inspect: the same report and the
// same messages for sound, faulty, short and re-encoded streams, and the
// channels taken back into the table as --freq-list gives them.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { Browser } from "./browser.mjs";
import { exampleStream, fileOf, inspect, random } from "./native.mjs";

let browser, page;
let compared = 0;

before(async () => {
  browser = await Browser.launch();
  page = await browser.newPage();
});
after(async () => {
  console.log(`compared: ${compared} streams`);
  await browser.close();
});

async function compare(bytes, what, name = "upload.bin") {
  const path = fileOf(bytes, name);
  const native = inspect(path);
  await page.fresh();
  await page.openFile("Open upload.bin or a backup", path);
  const shown = await page.evaluate("document.getElementById('report-text').textContent");
  assert.equal(shown, native.stdout, what);
  const said = await page.messages("#report");
  assert.deepEqual(said.map((m) => m.text), native.messages, what);
  compared++;
  if (native.status !== 0) return;
  // The channels back in the table, saved: what --freq-list prints.
  const list = inspect(path, ["--freq-list"]);
  await page.click("Take these channels into the table");
  const saved = await page.download("Save the channel list");
  assert.equal(saved.bytes.toString(), list.stdout, what);
  const warned = (await page.messages("#report")).slice(said.length).map((m) => m.text);
  assert.deepEqual(warned, list.messages.filter((m) => !native.messages.includes(m)), what);
}

// The example stream with its 40-character record text of `frame` changed.
function withText(frame, change) {
  const copy = Buffer.from(exampleStream);
  const at = frame * 46 + 5;
  Buffer.from(change(copy.subarray(at, at + 40).toString("latin1")), "latin1").copy(copy, at);
  return copy;
}

test("sound and faulty streams get freqimg-inspect's report and messages", async () => {
  const flipped = Buffer.from(exampleStream);
  flipped[46 * 27 + 20] ^= 0x01;
  const cases = [
    [exampleStream, "the example"],
    [flipped, "a byte changed"],
    [exampleStream.subarray(0, 2943), "a byte short"],
    [exampleStream.subarray(0, 1380), "cut in frame 30"],
    [Buffer.concat([exampleStream, Buffer.from([0])]), "a byte more"],
    [Buffer.alloc(0), "empty"],
    [withText(0, (t) => t.toLowerCase()), "lower case where freqimg writes upper"],
    [withText(40, (t) => t.toLowerCase()), "lower case in a window"],
    [Buffer.from(exampleStream.toString("latin1"), "utf8"), "re-encoded as UTF-8"],
    [Buffer.from(exampleStream.toString("latin1"), "utf16le"), "re-encoded as UTF-16"],
    [Buffer.from("Channel Transmit Receive\nHome 476425 476425\n"), "a channel list"],
    [Buffer.concat([exampleStream, Buffer.alloc(1 << 20)]), "over a megabyte"],
  ];
  for (const [bytes, what] of cases) await compare(bytes, what);
  await compare(exampleStream, "named otherwise", "backup 1.bin");
});

test("random damage gets the same words", async () => {
  const next = random(5);
  for (let n = 0; n < 40; ++n) {
    const copy = Buffer.from(exampleStream);
    for (let k = 1 + Math.floor(next() * 3); k > 0; --k)
      copy[Math.floor(next() * copy.length)] = Math.floor(next() * 256);
    await compare(copy.subarray(0, copy.length - Math.floor(next() * 2) * Math.floor(next() * 100)), `damaged ${n}`);
  }
});
