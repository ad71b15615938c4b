// The native commands built in the same run, and the test's own files.
import { spawnSync } from "node:child_process";
import { mkdtempSync, writeFileSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { basename, dirname, join } from "node:path";

export const source = process.env.FREQIMG_SOURCE;
export const exampleList = join(source, "examples/freq.dat");
export const exampleStream = readFileSync(join(source, "tests/data/example_stream.bin"));

export const scratch = mkdtempSync(join(tmpdir(), "freqimg-page-"));
process.on("exit", () => rmSync(scratch, { recursive: true, force: true }));

let files = 0;
// Writes `bytes` to a file of its own, named `name`, and returns its path.
export function fileOf(bytes, name = "freq.dat") {
  const dir = mkdtempSync(join(scratch, `f${files}-`));
  const path = join(dir, name);
  writeFileSync(path, bytes);
  return path;
}

function lines(text) {
  return text.split("\n").filter(Boolean);
}

// freqimg run on `list` as freq.dat: {status, stdout, messages}, each
// message as it follows "freqimg: ".
export function freqimg(list) {
  const dir = mkdtempSync(join(scratch, "run-"));
  writeFileSync(join(dir, "freq.dat"), list);
  const run = spawnSync(process.env.FREQIMG, [], { cwd: dir, encoding: "buffer" });
  rmSync(dir, { recursive: true, force: true });
  return {
    status: run.status,
    stdout: run.stdout,
    messages: lines(run.stderr.toString()).map((l) => l.replace(/^freqimg: /, "")),
  };
}

// A message of freqimg's about "freq.dat" as the page says it, after its
// sign: "freq.dat:4: warning: ..." is "freq.dat, line 4: ...".
export function pageWords(message) {
  return message.replace(/^freq\.dat:(\d+): (warning: )?/, "freq.dat, line $1: ")
    .replace(/^freq\.dat: (warning: )?/, "freq.dat: ");
}

// freqimg-inspect run on the file `path`, named as the page names it.
export function inspect(path, options = []) {
  const run = spawnSync(process.env.FREQIMG_INSPECT, [...options, basename(path)],
    { cwd: dirname(path), encoding: "buffer" });
  return {
    status: run.status,
    stdout: run.stdout.toString(),
    messages: lines(run.stderr.toString()).map((l) => l.replace(/^freqimg-inspect: /, "")),
  };
}

// A generator of the same numbers on every run: mulberry32.
export function random(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}
