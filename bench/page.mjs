// The page's figures in headless Chromium: its size, the time from opening
// the file to an editable table with the example list, and the time a
// keystroke takes to check the whole list and compose its stream.
import { statSync } from "node:fs";
import { Browser, pagePath } from "../tests/web/browser.mjs";

const runs = Number(process.argv[2] || 20);
const exampleList = process.argv[3];
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const ms = (v) => `${v.toFixed(2)} ms`;

const size = statSync(pagePath).size;
console.log(`page: ${size} bytes, ${(size / 1024).toFixed(1)} KiB (at most 100 KiB)`);

const browser = await Browser.launch();
try {
  const loads = [], lists = [];
  for (let n = 0; n < runs; ++n) {
    const page = await browser.newPage();
    await page.chooseFile("Open a channel list", exampleList);
    await page.until("performance.getEntriesByName('list-shown').length > 0");
    const [ready, chosen, shown] = await page.evaluate(
      "['table-ready', 'list-chosen', 'list-shown'].map((m) => performance.getEntriesByName(m)[0].startTime)");
    loads.push(ready);
    lists.push(shown - chosen);
    await page.close();
  }
  const open = median(loads) + median(lists);
  console.log(`open to table with the example list: ${ms(open)} (at most 300 ms): page to table ${ms(median(loads))}, list to table ${ms(median(lists))}, median of ${runs}`);

  const page = await browser.newPage();
  await page.chooseFile("Open a channel list", exampleList);
  await page.until("document.getElementById('f4').value === '476425'");
  // A keystroke as the page takes it: the field set, the whole list checked
  // and its stream composed, and every message and reading put in place.
  const [keystroke, core] = await page.evaluate(`(() => {
    const input = document.getElementById("f10");
    const times = [], checks = [];
    for (let n = 0; n < 500; ++n) {
      input.value = n % 2 ? "477175" : "47717";
      const start = performance.now();
      input.dispatchEvent(new Event("input"));
      times.push(performance.now() - start);
      const before = performance.now();
      Module.ccall("page_check", "string", [], []);
      checks.push(performance.now() - before);
    }
    const median = (v) => v.sort((a, b) => a - b)[v.length >> 1];
    return [median(times), median(checks)];
  })()`);
  console.log(`keystroke: ${ms(keystroke)} (at most 2 ms), of which the check and the stream ${ms(core)}, median of 500`);
} finally {
  await browser.close();
}
