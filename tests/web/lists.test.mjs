// The page against freqimg, list for list: the same stream byte for byte,
// the same messages word for word, and a list saved from the page that
// freqimg reads to the same stream.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { Browser } from "./browser.mjs";
import { exampleList, fileOf, freqimg, pageWords, random } from "./native.mjs";

let browser, page;
const counted = { lists: 0, streams: 0, messages: 0, saved: 0 };

before(async () => {
  browser = await Browser.launch();
  page = await browser.newPage();
});
after(async () => {
  console.log(`compared: ${JSON.stringify(counted)}`);
  await browser.close();
});

function openList(bytes, name = "freq.dat") {
  return page.openFile("Open a channel list", fileOf(bytes, name));
}

// Opens `list` in the page and holds what the page says and makes to what
// freqimg says and writes.
async function compare(list, what) {
  const native = freqimg(list);
  await page.fresh();
  await openList(list);
  const said = await page.messages();
  const errors = said.filter((m) => m.kind === "error").map((m) => m.text);
  counted.lists++;
  if (native.status !== 0) {
    assert.equal(native.messages.length, 1, what);
    const message = pageWords(native.messages[0]);
    assert.ok(errors.includes(message), `${what}: the page does not say ${message}\n${errors.join("\n")}`);
    counted.messages++;
    assert.match(await page.evaluate("document.getElementById('list-summary').textContent"), /error/, what);
    return;
  }
  assert.deepEqual(errors, [], what);
  assert.deepEqual(said.map((m) => m.text), native.messages.map(pageWords), what);
  counted.messages += native.messages.length;
  const stream = await page.download("Save upload.bin");
  assert.equal(stream.name, "upload.bin");
  assert.ok(stream.bytes.equals(native.stdout), `${what}: upload.bin differs`);
  counted.streams++;
  const saved = await page.download("Save the channel list");
  assert.equal(saved.name, "freq.dat");
  const again = freqimg(saved.bytes);
  assert.equal(again.status, 0, what);
  assert.ok(again.stdout.equals(native.stdout), `${what}: the saved list makes another stream`);
  counted.saved++;
}

// A list as people write them: mostly frequencies, some blank channels,
// now and then an entry with a hex letter, any blanks between fields.
function randomList(next) {
  const pick = (items) => items[Math.floor(next() * items.length)];
  const digits = (n, set) => Array.from({ length: n }, () => pick(set)).join("");
  const entry = () => {
    const r = next();
    if (r < 0.7) return digits(6, "0123456789");
    if (r < 0.8) return pick(["-", "--", "-x"]);
    if (r < 0.9) return digits(6, "0123456789abcdefABCDEF");
    return pick(["C76425", "c76425", "476425"]);
  };
  const label = () => pick(["Home", "Repeater-01", "K\u00fcche", "CH", "x", "a/b", "\u7ad9"]) + digits(2, "0123456789");
  const gap = () => pick([" ", "  ", "\t", " \t "]);
  const end = pick(["\n", "\r\n", "\r"]);
  let text = ["Channel", "Transmit", "Receive"].join(gap()) + end;
  for (let row = 1; row <= 20; ++row) text += [label(), entry(), entry()].join(gap()) + end;
  return Buffer.from(text);
}

test("the example list: the stream, and the file saved back as it was", async () => {
  const example = readFileSync(exampleList);
  await compare(example, "example");
  await page.fresh();
  await openList(example);
  const saved = await page.download("Save the channel list");
  assert.ok(saved.bytes.equals(example), "the example list saved is another file");
});

test("random lists give freqimg's stream and warnings", async () => {
  const next = random(17);
  for (let n = 0; n < 150; ++n) await compare(randomList(next), `random list ${n}`);
});

test("every kind of bad list gets freqimg's message", async () => {
  const example = readFileSync(exampleList, "latin1");
  const rows = example.split("\n");
  const withField = (row, column, text) => {
    const copy = [...rows];
    const fields = copy[row].split(/\s+/);
    fields[column] = text;
    copy[row] = fields.join("  ");
    return copy.join("\n");
  };
  const cases = {
    "MHz with a point": withField(3, 1, "476.425"),
    "MHz with a comma": withField(4, 2, "476,425"),
    "MHz named": withField(5, 1, "476.425MHz"),
    kHz: withField(6, 2, "476425kHz"),
    Hz: withField(7, 1, "476425000"),
    "five digits": withField(8, 1, "47642"),
    "seven digits": withField(9, 2, "4764250"),
    "not hex": withField(10, 1, "47642G"),
    "two bad fields, the first named": withField(12, 2, "x").split("\n").map((l, i) => (i === 2 ? l.replace("476450", "1") : l)).join("\n"),
    "a channel too few": rows.slice(0, 20).join("\n") + "\n",
    "a field too few": example.trimEnd().replace(/\S+$/, ""),
    "only the header row": rows[0] + "\n",
    "empty": "",
    "blanks only": " \n\t\n",
    "a twenty-first channel": example + "Extra 476425 476425\n",
    "an entry with a hex letter": withField(11, 1, "47642a"),
    "line ends of old Macs": example.replaceAll("\n", "\r"),
    "all on one line": example.replaceAll("\n", " "),
    "a label past 64 KiB": withField(1, 0, "L".repeat(70000)),
  };
  for (const [what, text] of Object.entries(cases)) await compare(Buffer.from(text, "latin1"), what);
  const utf16 = Buffer.from("\ufeff" + example, "utf16le");
  await compare(utf16, "UTF-16");
});

// The fields the page shows, in order.
const fields = () => page.evaluate("[...Array(63).keys()].map((i) => document.getElementById('f' + i).value)");

test("a list is saved in its own encoding and line ends, whole however long, and survives a field of a million characters", async () => {
  const example = readFileSync(exampleList, "latin1");
  // A label a Windows editor saved in its code page, and lone CR line ends.
  const windows = example.replace("Home", "Caf\xe9").replaceAll("\n", "\r");
  await page.fresh();
  await openList(Buffer.from(windows, "latin1"));
  assert.equal((await fields())[3], "Caf\u00e9");
  assert.ok((await page.download("Save the channel list")).bytes.equals(Buffer.from(windows, "latin1")), "saved as it came");
  await page.type("Channel 1 label", "Caf\u00e92");
  const edited = (await page.download("Save the channel list")).bytes;
  assert.ok(edited.toString("latin1").startsWith("Channel      Transmit  Receive\rCaf\xe92"), edited.toString("latin1").slice(0, 60));
  assert.ok(freqimg(edited).stdout.equals(freqimg(Buffer.from(windows, "latin1")).stdout));

  // Past 16 MiB of blanks freqimg reads no more, and says so; the list saved
  // keeps the twenty-first channel beyond them.
  const long = Buffer.concat([Buffer.from(example), Buffer.alloc((16 << 20) + 70000, 0x20), Buffer.from("Extra-21  476425  476425\n")]);
  await page.fresh();
  await openList(long);
  const native = freqimg(long);
  assert.deepEqual((await page.messages()).map((m) => m.text), native.messages.map(pageWords));
  const saved = (await page.download("Save the channel list")).bytes;
  assert.ok(saved.toString("latin1").endsWith(" Extra-21  476425  476425\n"), "the rest is kept");
  assert.deepEqual(freqimg(saved).messages, ["freq.dat:22: warning: the list goes on after channel 20; the rest is not read"]);

  // A label of a million characters, edited, and mended.
  await page.fresh();
  await openList(Buffer.from(example.replace("Home", "L".repeat(1 << 20))));
  await page.focus("Channel 1 label");
  await page.key("End", "End", 35);
  await page.call("Input.insertText", { text: "x" });
  assert.deepEqual((await page.messages()).filter((m) => m.kind === "error").map((m) => m.text), ["no list of 63 fields in the first 65536 bytes"]);
  await page.type("Channel 1 label", "Home");
  assert.deepEqual(await page.messages(), []);
  assert.ok((await page.download("Save upload.bin")).bytes.equals(freqimg(Buffer.from(example)).stdout));
  assert.deepEqual(page.errors, []);
});

test("a spreadsheet's CSV opens into the table, names its faults by row and column, and saves back to the same table", async () => {
  const csv = "Channel;Label;TX MHz;RX MHz\r\n1;Home;476,425;476,425\r\n2;Farm East;476,45;\r\n3;Repeater;477,175;476.4x\r\n";
  await page.fresh();
  await openList(Buffer.from(csv), "freq.csv");
  const shown = await fields();
  assert.deepEqual(shown.slice(3, 12), ["Home", "476425", "476425", "Farm_East", "476450", "-", "Repeater", "477175", "476.4x"]);
  assert.deepEqual((await page.messages()).map((m) => m.text),
    ['freq.csv, row 4, column D: channel 3 receive field "476.4x" is not six hex digits']);
  await page.type("Channel 3 receive", "476.425");
  await page.key("Tab", "Tab", 9);
  const saved = await page.download("Save as CSV");
  assert.equal(saved.name, "freq.csv");
  assert.ok(saved.bytes.toString().startsWith("\ufeffChannel,Label,Transmit MHz,Receive MHz\r\n1,Home,476.425,476.425\r\n2,Farm_East,476.450,-\r\n3,Repeater,477.175,476.425\r\n"),
    saved.bytes.toString());
  const stream = await page.download("Save upload.bin");
  await page.fresh();
  await openList(saved.bytes, "again.csv");
  assert.deepEqual(await fields(), (() => { const f = [...shown]; f[11] = "476425"; return f; })());
  assert.ok((await page.download("Save upload.bin")).bytes.equals(stream.bytes));
});
