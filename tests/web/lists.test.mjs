// The page against freqimg, list for list: the same stream byte for byte,
// the same messages word for word, and a list saved from the page that
// freqimg reads to the same stream.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { Browser } from "./browser.mjs";
import { exampleList, fileOf, freqimg, random } from "./native.mjs";

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

function openList(bytes) {
  return page.openFile("Open a channel list", fileOf(bytes));
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
    assert.ok(errors.includes(native.messages[0]), `${what}: the page does not say ${native.messages[0]}\n${errors.join("\n")}`);
    counted.messages++;
    assert.match(await page.evaluate("document.getElementById('list-summary').textContent"), /error/, what);
    return;
  }
  assert.deepEqual(errors, [], what);
  assert.deepEqual(said.map((m) => m.text), native.messages, what);
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
