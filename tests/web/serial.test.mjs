// The page's serial line against a model UART (model_serial.js): the exact
// bytes at the speeds asked, the port closed only once the last stop bit
// is out, progress that never runs ahead of the line, and each way a send
// or a capture can end.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { Browser } from "./browser.mjs";
import { exampleList, exampleStream, fileOf, inspect } from "./native.mjs";

const model = readFileSync(join(import.meta.dirname, "model_serial.js"), "utf8");
const port = "serial port (USB 0403:6001)";
const portPattern = port.replace(/[()]/g, "\\$&");
let browser, page;

before(async () => {
  browser = await Browser.launch();
  page = await browser.newPage({ before: model });
});
after(() => browser.close());

// Sets how the next port behaves, then clicks `control` and waits for the
// page to be done with the port: the run the model recorded, and what the
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
      document.getElementById("radio-status").textContent = "";
    })()`);
  const runs = await page.evaluate("serialModel.runs.length");
  await page.click(control);
  await during();
  await page.until(`!document.getElementById("${control === "Stop" ? "stop" : "send"}").disabled &&
    /^(Done|Not sent|Received|Capture ended|The |No port)/.test(document.getElementById("radio-status").textContent)`, 60000);
  const status = await page.evaluate("document.getElementById('radio-status').textContent");
  const run = await page.evaluate(`serialModel.runs.length > ${runs} ? serialModel.runs.at(-1) : null`);
  return { status, run };
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

test("the list's stream goes out whole at 9600 and 1200 baud, 8N1, the port kept until it is out", async () => {
  await page.openFile("Open a channel list", exampleList);
  for (const [speed, fifo] of [["9600", 1024], ["1200", 16]]) {
    const { status, run } = await useLine("Send to the radio", { fifo }, speed);
    assert.match(status, new RegExp(`^Done: sent 2944 bytes, 64 frames, in [0-9.]+ s at ${speed} baud`));
    assert.deepEqual(run.settings, { baudRate: Number(speed), dataBits: 8, stopBits: 1, parity: "none", flowControl: "none" });
    checkLine(run, exampleStream);
  }
});

test("Stop ends a send and gives the port back", async () => {
  const { status, run } = await useLine("Send to the radio", { fifo: 128 }, "9600", async () => {
    await page.until("serialModel.runs.at(-1).wire.length > 500");
    await page.click("Stop");
  });
  assert.match(status, new RegExp(`^Not sent whole: ${portPattern}: write error with \\d+ of 2944 bytes sent: stopped by the user`));
  assert.ok(run.wire.length < 2944 && run.closedAt !== null);
});

test("a port in use, a cable pulled and a line that takes nothing each get one line", async () => {
  let { status, run } = await useLine("Send to the radio", { inUse: true });
  assert.equal(status, `The ${port} could not be opened; another program may be using it (Failed to open serial port.).`);
  assert.equal(run.wire.length, 0);

  ({ status, run } = await useLine("Send to the radio", { fifo: 64, pullAfter: 1000 }));
  const [, sent] = status.match(new RegExp(`^Not sent whole: ${portPattern}: write error with (\\d+) of 2944 bytes sent: The device has been lost\\.$`));
  assert.ok(Number(sent) <= run.finish.filter((f) => f <= run.failedAt).length, `${sent} bytes said sent`);
  assert.ok(run.closedAt !== null);

  ({ status, run } = await useLine("Send to the radio", { deaf: true }, "115200"));
  assert.equal(status, `Not sent whole: ${port}: timed out after 5 s with 0 of 2944 bytes sent`);
  assert.ok(run.closedAt !== null);
});

test("a faulty stream is refused in the inspector's words before a port is asked for", async () => {
  const faulty = fileOf(exampleStream.subarray(0, 2000), "upload.bin");
  await page.openFile("Open a stream", faulty);
  await page.click("the stream opened (upload.bin)", "radio");
  const requested = await page.evaluate("serialModel.requested");
  const { status } = await useLine("Send to the radio", { fifo: 128 });
  assert.equal(status, "Not sent: upload.bin is not a sound stream (see the Report).");
  assert.equal(await page.evaluate("serialModel.requested"), requested);
  assert.deepEqual((await page.messages("#report")).map((m) => m.text), inspect(faulty).messages);
  await page.click("the channels in the table", "radio");
});

test("a capture skips the noise before the stream and keeps the stream as it came", async () => {
  const { status } = await useLine("Capture a backup", { fifo: 128, incoming: { noise: [0, 0x55, 0xaa], bytes: [...exampleStream] } });
  assert.equal(status, "Received 2944 bytes. Save backup.bin keeps the bytes as they came.");
  const said = (await page.messages("#report")).map((m) => m.text);
  assert.deepEqual(said, [`${port}: warning: skipped 3 bytes before the first frame header`]);
  const report = await page.evaluate("document.getElementById('report-text').textContent");
  assert.equal(report, inspect(fileOf(exampleStream, "upload.bin")).stdout);
  await page.fresh();
});

test("a capture that falls silent ends and keeps what came", async () => {
  const short = exampleStream.subarray(0, 1380);
  const { status } = await useLine("Capture a backup", { fifo: 128, incoming: { bytes: [...short] } });
  assert.equal(status, "Received 1380 bytes. Save backup.bin keeps the bytes as they came.");
  const said = (await page.messages("#report")).map((m) => m.text);
  assert.deepEqual(said, inspect(fileOf(short, "backup.bin")).messages);
  const kept = await page.download("Save backup.bin");
  assert.equal(kept.name, "backup.bin");
  assert.ok(kept.bytes.equals(short));
});
