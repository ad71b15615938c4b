// The page's serial line against a model UART (model_serial.js): the exact
// bytes at the speeds asked, the port closed only once the last stop bit
// is out however the page's own thread stalls, progress that never runs
// ahead of the line, each way a send or a capture can end; and a transfer
// that owns the page until the port is given back.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { Browser } from "./browser.mjs";
import { exampleList, exampleStream, fileOf, freqimg, inspect } from "./native.mjs";

const model = readFileSync(join(import.meta.dirname, "model_serial.js"), "utf8");
const port = "serial port (USB 0403:6001)";
const portPattern = port.replace(/[()]/g, "\\$&");
let browser, page;

before(async () => {
  browser = await Browser.launch();
  page = await browser.newPage({ before: model });
});
after(() => browser.close());

const status = () => page.evaluate("document.getElementById('radio-status').textContent");

// Sets how the next port behaves, then clicks `control` and waits until the
// page has given the port back: the run the model recorded, and what the
// page said.
async function useLine(control, behaviour, speed = "9600", during = async () => {}) {
  await page.evaluate(`serialModel.port = ${JSON.stringify(behaviour)};
    document.getElementById("speed").value = "${speed}";
    (() => {
      const show = Module.onProgress.shown || Module.onProgress;
      Module.onProgress = (done, total, text) => {
        serialModel.runs.at(-1)?.progress.push([done, performance.now()]);
        show(done, total, text);
      };
      Module.onProgress.shown = show;
    })()`);
  const runs = await page.evaluate("serialModel.runs.length");
  await page.click(control);
  await during();
  await page.until(`document.getElementById("stop").disabled &&
    document.getElementById("radio-status").className !== "busy"`, 60000);
  const run = await page.evaluate(`serialModel.runs.length > ${runs} ? serialModel.runs.at(-1) : null`);
  return { status: await status(), run };
}

// What the model shows of a send: bytes on the wire, the last stop bit
// out before the port closed, and no progress ahead of the line.
function checkLine(run, sent) {
  assert.ok(Buffer.from(run.wire).equals(sent), "the bytes on the wire");
  assert.ok(run.closedAt >= run.finish.at(-1), `closed ${run.finish.at(-1) - run.closedAt} ms before the last stop bit`);
  for (const [done, at] of run.progress) {
    const out = run.finish.filter((f) => f <= at).length;
    assert.ok(done <= out, `progress shows ${done} bytes when ${out} had left`);
  }
  assert.ok(run.progress.length > 2, "progress was shown on the way");
  assert.equal(run.progress.at(-1)[0], sent.length);
}

test("the list's stream goes out whole at 9600 and 1200 baud, 8N1, after a question, the port kept until it is out", async () => {
  await page.openFile("Open a channel list", exampleList);
  for (const [speed, fifo] of [["9600", 1024], ["1200", 16]]) {
    const asked = page.questions.length;
    const { status, run } = await useLine("Send to the radio", { fifo }, speed);
    assert.match(status, new RegExp(`^\u2714 Sent: sent 2944 bytes, 64 frames, in [0-9.]+ s at ${speed} baud`));
    assert.equal(page.questions.length, asked + 1);
    assert.equal(page.questions.at(-1), `Send upload.bin to the radio at ${speed} baud?\n\nIt replaces every channel in the radio with 16 channels in use and 4 blank.`);
    assert.deepEqual(run.settings, { baudRate: Number(speed), dataBits: 8, stopBits: 1, parity: "none", flowControl: "none" });
    checkLine(run, exampleStream);
  }
  // "No" to the question: no port is asked for.
  const requested = await page.evaluate("serialModel.requested");
  page.answers.push(false);
  await page.click("Send to the radio");
  assert.equal(await status(), "\u25a0 Not sent: you chose not to.");
  assert.equal(await page.evaluate("serialModel.requested"), requested);
});

test("a page whose thread stalls mid-send still closes the port only after the last stop bit", async () => {
  // A system buffer below Web Serial takes the bytes at once; the page's
  // thread then stalls for longer than the guard.
  const { run } = await useLine("Send to the radio", { fifo: 128, system: 4096 }, "9600", async () => {
    await page.until("serialModel.runs.at(-1).wire.length > 600");
    await page.evaluate("(() => { const end = performance.now() + 1500; while (performance.now() < end); })()");
  });
  checkLine(run, exampleStream);
});

test("a transfer owns the page: nothing reaches the module, Stop works, the port comes back", async () => {
  await page.openFile("Open a channel list", exampleList);
  const { status, run } = await useLine("Send to the radio", { fifo: 128 }, "1200", async () => {
    await page.until("serialModel.runs.at(-1).wire.length > 200");
    // Typed and clicked by a person while the transfer runs: nothing happens.
    await page.type("Channel 3 transmit", "9");
    await page.click("Save upload.bin");
    await page.click("Send to the radio");
    const locked = await page.evaluate(`["save-stream", "send", "capture", "check", "open-list", "new-list"]
      .every((id) => document.getElementById(id).disabled) && document.getElementById("f10").readOnly`);
    assert.ok(locked, "controls that reach the module are locked during a transfer");
    assert.equal(await page.evaluate("document.getElementById('locked').hidden"), false, "and it says why");
    await page.click("Stop");
  });
  assert.match(status, new RegExp(`^\u25a0 Stopped: not sent whole: ${portPattern}: write error with \\d+ of 2944 bytes sent: stopped by the user`));
  assert.ok(run.closedAt !== null);
  assert.equal(await page.evaluate("document.getElementById('f10').value"), "477175");
  assert.equal(await page.evaluate("serialModel.runs.length"), await page.evaluate("serialModel.requested"));
});

test("one transfer at a time, from the click", async () => {
  const requested = await page.evaluate("serialModel.requested");
  await useLine("Send to the radio", { fifo: 128, openMs: 500 }, "115200", async () => {
    await page.click("Send to the radio");
    await page.click("Back up the radio");
  });
  assert.equal(await page.evaluate("serialModel.requested"), requested + 1);
});

test("a port in use, none chosen, a cable pulled and a line that takes nothing each get one line and help", async () => {
  let { status, run } = await useLine("Send to the radio", { inUse: true });
  assert.equal(status, `\u2716 The ${port} could not be opened (Failed to open serial port.).`);
  assert.equal(run.wire.length, 0);
  assert.match(await page.evaluate("document.getElementById('help').textContent"), /Another program may hold the port/);
  await page.find("Try again");

  await page.evaluate("serialModel.cancel = true");
  ({ status } = await useLine("Send to the radio", { fifo: 64 }));
  assert.equal(status, "\u2716 No port was chosen.");
  assert.match(await page.evaluate("document.getElementById('help').textContent"), /driver/);

  ({ status, run } = await useLine("Send to the radio", { fifo: 64, pullAfter: 1000 }));
  const [, sent] = status.match(new RegExp(`^\u2716 Not sent whole: ${portPattern}: write error with (\\d+) of 2944 bytes sent: The device has been lost\\.$`));
  assert.ok(Number(sent) <= run.finish.filter((f) => f <= run.failedAt).length, `${sent} bytes said sent`);
  assert.ok(run.closedAt !== null);

  ({ status, run } = await useLine("Send to the radio", { deaf: true }, "115200"));
  assert.equal(status, `\u2716 Not sent whole: ${port}: timed out after 5 s with 0 of 2944 bytes sent`);
  assert.ok(run.closedAt !== null);
});

test("a faulty stream is refused in the inspector's words before a port is asked for", async () => {
  const faulty = fileOf(exampleStream.subarray(0, 2000), "upload.bin");
  await page.openFile("Open upload.bin or a backup", faulty);
  await page.click("the file opened (upload.bin)", "radio");
  const requested = await page.evaluate("serialModel.requested");
  await page.click("Send to the radio");
  assert.equal(await status(), "\u2716 Not sent: upload.bin is not ready to send (see the Report).");
  assert.equal(await page.evaluate("serialModel.requested"), requested);
  assert.deepEqual((await page.messages("#report")).map((m) => m.text), inspect(faulty).messages);
  await page.click("the channels in the table", "radio");
});

test("a backup skips the noise and the line's read errors and keeps the stream as it came", async () => {
  const { status, run } = await useLine("Back up the radio", { fifo: 128, incoming: { noise: [0, 0x55, 0xaa], bytes: [...exampleStream], errorsAt: [640, 1600] } });
  assert.equal(status, "\u2714 Backed up: received 2944 bytes. Save backup.bin keeps the bytes as they came. The line reported 2 read errors (framing, parity, break or overrun), skipped as noise.");
  assert.equal(run.readers, 3);
  const said = (await page.messages("#report")).map((m) => m.text);
  assert.deepEqual(said, [`${port}: warning: skipped 3 bytes before the first frame header`]);
  const report = await page.evaluate("document.getElementById('report-text').textContent");
  assert.equal(report, inspect(fileOf(exampleStream, "upload.bin")).stdout);
  const kept = await page.download("Save backup.bin");
  assert.equal(kept.name, "backup.bin");
  assert.ok(kept.bytes.equals(exampleStream));
  await page.fresh();
});

test("a backup never replaces the stream chosen to send, and goes out only when chosen by name", async () => {
  // A stream of other channels, opened and chosen; then a backup taken.
  const list = readFileSync(exampleList, "latin1").replace("477175", "476525");
  const mine = freqimg(Buffer.from(list, "latin1")).stdout;
  await page.openFile("Open upload.bin or a backup", fileOf(mine, "mine.bin"));
  await page.click("the file opened (mine.bin)", "radio");
  const radio = exampleStream.subarray(0, 2944 - 46);
  const backup = await useLine("Back up the radio", { fifo: 128, incoming: { bytes: [...radio] } });
  assert.match(backup.status, /^\u2716 Received 2898 bytes, which are no whole memory/);
  assert.equal(await page.evaluate("document.getElementById('what-opened').checked"), true);
  const { run } = await useLine("Send to the radio", { fifo: 1024 });
  assert.ok(Buffer.from(run.wire).equals(mine), "the file chosen went out");
  assert.match(page.questions.at(-1), /^Send mine\.bin to the radio/);
  await page.click("the channels in the table", "radio");
  await page.fresh();
});

test("a backup that finds nothing says why, and every click after answers", async () => {
  const { status } = await useLine("Back up the radio", { fifo: 128 }, "9600", async () => {
    await page.until("document.getElementById('radio-status').textContent.startsWith('Waiting')");
    await page.click("Stop");
  });
  assert.equal(status, "\u25a0 Nothing came from the radio.");
  assert.match(await page.evaluate("document.getElementById('help').textContent"), /sends its memory/);
  await page.openFile("Open a channel list", exampleList);
  const sent = await useLine("Send to the radio", { fifo: 1024 });
  assert.match(sent.status, /^\u2714 Sent:/);
});

test("checking the radio compares what it sends with what was sent, channel by channel", async () => {
  await page.openFile("Open a channel list", exampleList);
  await useLine("Send to the radio", { fifo: 1024 }, "115200");
  let { status } = await useLine("Check the radio", { fifo: 128, incoming: { bytes: [...exampleStream] } }, "115200");
  assert.equal(status, "\u2714 The radio holds what was sent.");
  assert.equal(await page.evaluate("document.getElementById('comparison').textContent"),
    "\u2714 The radio holds what the table says: 16 channels in use, 4 blank.");
  // The radio kept another frequency for channel 3.
  const list = readFileSync(exampleList, "latin1").replace("477175", "476525");
  const other = freqimg(Buffer.from(list, "latin1")).stdout;
  ({ status } = await useLine("Check the radio", { fifo: 128, incoming: { bytes: [...other] } }, "115200"));
  assert.equal(status, "\u2716 The radio holds something else: see step 4.");
  assert.deepEqual(await page.evaluate("[...document.querySelectorAll('#comparison li')].map((li) => li.textContent)"),
    ["channel 3 transmit: the radio has 476.525 MHz, the table 477.175 MHz"]);
});
