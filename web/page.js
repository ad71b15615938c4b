// The page: back up the radio, edit the channels, send them, check the
// radio. Every check, message, stream, report and comparison, and the way a
// send ends, come from the commands' own code (the C functions page_*,
// bound once below); this file keeps the page's state, draws it, and moves
// bytes between files, the module and the serial port.
"use strict";

(() => {
  const $ = (id) => document.getElementById(id);

  // ---- The module, bound once ----

  // Each C function by name: its result, then its arguments. "json" is an
  // answer object; "bytes" a Uint8Array (as a result, page_answer_size
  // long); "text" a string, as UTF-8; "number" a number. Text and bytes go
  // through the module's heap, never its stack, however long they are.
  const bindings = {
    layout: ["json"],
    new_list: ["json"],
    open_list: ["json", "bytes", "text"],
    open_csv: ["json", "bytes", "text"],
    set_field: ["json", "number", "text"],
    settle_field: ["json", "number"],
    paste: ["json", "number", "text"],
    check: ["json"],
    stream: ["bytes"],
    list_text: ["bytes"],
    list_csv: ["bytes"],
    inspect: ["json", "bytes", "text"],
    take_channels: ["json", "text"],
    compare: ["json", "bytes", "bytes"],
    captured: ["bytes"],
  };
  // The calls that wait on the serial port, and return a Promise: while one
  // is paused in the module, nothing else may enter it.
  const resumableBindings = {
    send: ["json", "bytes", "number", "text"],
    capture: ["json", "number", "text"],
  };
  let inModule = false;
  const encoder = new TextEncoder();

  function bind(name, [result, ...kinds], resumable) {
    return (...values) => {
      if (inModule) throw new Error(`page_${name}: the module is busy with a transfer`);
      const held = [];
      const args = [];
      kinds.forEach((kind, i) => {
        if (kind === "number") {
          args.push(values[i]);
          return;
        }
        const bytes = kind === "text" ? encoder.encode(values[i]) : values[i];
        const at = _malloc(Math.max(bytes.length, 1));
        HEAPU8.set(bytes, at);
        held.push(at);
        args.push(at, bytes.length);
      });
      const answer = (at) => (result === "json"
        ? JSON.parse(UTF8ToString(at))
        : HEAPU8.slice(at, at + Module._page_answer_size()));
      const release = () => held.forEach((at) => _free(at));
      if (!resumable) {
        try {
          return answer(Module[`_page_${name}`](...args));
        } finally {
          release();
        }
      }
      inModule = true;
      return ccall(`page_${name}`, "number", args.map(() => "number"), args, { async: true })
        .then(answer)
        .finally(() => {
          inModule = false;
          release();
        });
    };
  }

  const core = {};
  // (No destructuring anywhere: emscripten's minifier mangles it.)
  Object.keys(bindings).forEach((name) => { core[name] = bind(name, bindings[name], false); });
  Object.keys(resumableBindings).forEach((name) => { core[name] = bind(name, resumableBindings[name], true); });

  // ---- The page's state ----

  const state = {
    layout: null, // the list's shape and the streams' limits, from the module
    fields: [],
    check: null, // what the module says of the list as it stands
    source: { kind: "new", name: "", file: null, given: 0 }, // where the list came from
    before: new Map(), // entries of a channel marked blank, to give back
    unsaved: false, // edits since the list was opened or saved
    opened: null, // a stream file opened to look into: {name, bytes}
    backup: null, // the stream the radio sent: {bytes, at, saved}
    report: null, // what the Report shows: {about, result, noise, name, bytes}
    chosen: "table", // what Send sends: "table", "opened", "backup"
    sent: null, // the stream sent last: {name, bytes}
    transfer: null, // {kind, line, stopped}
    outcome: null, // the last transfer's end: {sign, text, help}
    progress: { done: 0, total: 1, text: "" },
    comparison: null, // what Check the radio found
    retry: null, // what Try again does
    shown: new Set(), // messages already on the page, not to announce again
  };
  const serial = "serial" in navigator;

  const fieldCount = () => (state.layout.rows + 1) * state.layout.columns;
  const isEntry = (i) => i >= state.layout.columns && i % state.layout.columns !== 0;
  const inputs = [];

  // ---- Renderers ----

  function message(kind, where, text) {
    const p = document.createElement("p");
    p.className = kind;
    // Said in words and by a sign, not by colour alone.
    const sign = kind === "error" ? "\u2716 Error: " : "\u26a0 Warning: ";
    p.textContent = sign + (where ? `${where}: ` : "") + text;
    return p;
  }

  function plural(n, one, many) {
    return `${n} ${n === 1 ? one : many}`;
  }

  function drawFields() {
    state.fields.forEach((text, i) => {
      inputs[i].value = text;
    });
  }

  // What is said of the list: at its fields, in the summary, and new
  // messages announced.
  function drawCheck() {
    const columns = state.layout.columns, rows = state.layout.rows;
    const check = state.check;
    const byRow = new Map();
    const general = [];
    const marks = new Array(fieldCount()).fill(null);
    const said = new Array(fieldCount()).fill("");
    const fresh = [];
    const now = new Set();
    check.messages.forEach(([field, error, where, text], n) => {
      const kind = error ? "error" : "warning";
      const p = message(kind, where, text);
      p.id = `msg${n}`;
      now.add(p.textContent);
      if (!state.shown.has(p.textContent)) fresh.push(text);
      if (field >= fieldCount()) {
        general.push(p);
        return;
      }
      const row = Math.floor(field / columns);
      if (!byRow.has(row)) byRow.set(row, []);
      byRow.get(row).push(p);
      if (marks[field] !== "error") marks[field] = kind;
      said[field] += ` msg${n}`;
    });
    for (let row = 0; row <= rows; ++row) $(`m${row}`).replaceChildren(...(byRow.get(row) || []));
    $("list-messages").replaceChildren(...general);
    inputs.forEach((input, i) => {
      input.setAttribute("aria-invalid", marks[i] === "error" ? "true" : "false");
      input.classList.toggle("warned", marks[i] === "warning");
      const reading = isEntry(i) ? `r${i}` : "";
      const described = [reading, said[i].trim()].filter(Boolean).join(" ");
      if (described) input.setAttribute("aria-describedby", described);
      else input.removeAttribute("aria-describedby");
      if (reading) $(reading).textContent = check.readings[i];
    });
    for (let row = 1; row <= rows; ++row)
      $(`b${row}`).checked = [1, 2].every((c) => state.fields[row * columns + c].startsWith("-"));
    const errors = check.messages.filter((m) => m[1]).length;
    const warnings = check.messages.length - errors;
    $("list-summary").textContent = errors
      ? `${plural(errors, "error", "errors")}, ${plural(warnings, "warning", "warnings")}: fix the fields marked; then the list is ready to send.`
      : `The list is ready to send: ${plural(check.inUse, "channel", "channels")} in use, ${check.blank} blank${warnings ? `, with ${plural(warnings, "warning", "warnings")}` : ""}.`;
    if (fresh.length) $("announce").textContent = fresh.join(". ");
    state.shown = now;
    document.body.dataset.checks = String(Number(document.body.dataset.checks || 0) + 1);
  }

  function drawReport() {
    const report = state.report;
    const said = [];
    if (report) {
      if (report.noise) said.push(message("warning", "", report.noise));
      report.result.errors.forEach((text) => said.push(message("error", "", text)));
      report.result.warnings.forEach((text) => said.push(message("warning", "", text)));
    }
    $("report-about").textContent = report ? report.about : "";
    $("report-messages").replaceChildren(...said);
    $("report-text").textContent = report ? report.result.report : "";
    $("take-channels").hidden = !(report && report.result.sound);
    $("report").dataset.shown = String(Number($("report").dataset.shown || 0) + 1);
  }

  // The streams Send can send, each chosen by its name.
  function drawChoices() {
    const choice = (id, thing, text) => {
      $(`${id}-label`).hidden = !thing;
      $(`${id}-label`).querySelector("span").textContent = text;
    };
    choice("what-opened", state.opened, state.opened ? `the file opened (${state.opened.name})` : "");
    choice("what-backup", state.backup, state.backup ? `the backup taken at ${state.backup.at.toLocaleTimeString()}` : "");
    document.querySelector(`input[name=what][value=${state.chosen}]`).checked = true;
    $("save-backup").hidden = !state.backup;
  }

  const signs = { busy: "", done: "\u2714 ", failed: "\u2716 ", stopped: "\u25a0 " };

  function drawTransfer() {
    const outcome = state.outcome;
    $("stop").disabled = !state.transfer;
    $("locked").hidden = !state.transfer;
    $("progress").max = state.progress.total;
    $("progress").value = state.progress.done;
    $("progress-text").textContent = state.progress.text;
    if (!outcome) return;
    $("radio-status").className = outcome.sign;
    $("radio-status").textContent = signs[outcome.sign] + outcome.text;
    $("help").hidden = !outcome.help;
    $("help-list").replaceChildren(...(outcome.help || []).map((text) => {
      const li = document.createElement("li");
      li.textContent = text;
      return li;
    }));
    $("try-again").disabled = !!state.transfer;
  }

  function drawComparison() {
    const c = state.comparison;
    const lines = [];
    if (c) {
      const p = document.createElement("p");
      p.className = c.same ? "done" : "failed";
      const first = (text) => text.charAt(0).toUpperCase() + text.slice(1);
      if (c.errors) p.textContent = `\u2716 Nothing to compare: ${c.errors.join("; ")}`;
      else if (c.same) p.textContent = `\u2714 ${first(c.lines[0])}.`;
      else p.textContent = `\u2716 The radio holds something else than the table, in ${plural(c.lines.length, "place", "places")}:`;
      lines.push(p);
      if (!c.same && !c.errors) {
        const list = document.createElement("ul");
        for (const line of c.lines) {
          const li = document.createElement("li");
          li.textContent = line;
          list.append(li);
        }
        lines.push(list);
      }
    }
    $("comparison").replaceChildren(...lines);
  }

  // A transfer owns the page: nothing that would call into the module can
  // be used until it ends, and Stop always can.
  function drawLocks() {
    const busy = !!state.transfer;
    for (const button of document.querySelectorAll("button")) {
      if (button.id === "stop" || button.id === "try-again") continue;
      const needsSerial = ["capture", "send", "check"].includes(button.id);
      button.disabled = busy || (needsSerial && !serial);
    }
    for (const control of document.querySelectorAll("input, select")) {
      if (control.type === "file") continue;
      if (control.type === "checkbox" || control.type === "radio" || control.tagName === "SELECT")
        control.disabled = busy || (control.id === "speed" && !serial);
      else control.readOnly = busy;
    }
    document.body.classList.toggle("transferring", busy);
  }

  function draw() {
    drawChoices();
    drawTransfer();
    drawComparison();
    drawLocks();
  }

  // ---- The list ----

  function recheck() {
    state.check = core.check();
    drawCheck();
    return state.check;
  }

  function takeFields(answer) {
    state.fields = answer.fields;
    state.before.clear();
    drawFields();
    recheck();
  }

  function setField(i, text) {
    state.fields[i] = text;
    core.set_field(i, text);
  }

  function settle(i) {
    const settled = core.settle_field(i).settled;
    if (settled === null) return false;
    state.fields[i] = settled;
    inputs[i].value = settled;
    return true;
  }

  // Asks before what is in the table, edited and not saved, is replaced.
  function mayReplaceList(what) {
    return !state.unsaved || confirm(`${what} replaces the channel list in the table, whose changes are not saved. Replace it?`);
  }

  function say(text) {
    $("list-summary").textContent = text;
  }

  async function fileBytes(file, most) {
    return new Uint8Array(await file.slice(0, most).arrayBuffer());
  }

  async function openList(file) {
    if (state.transfer || !mayReplaceList(`Opening ${file.name}`)) return;
    performance.mark("list-chosen");
    const csv = /\.(csv|tsv)$/i.test(file.name);
    let bytes;
    try {
      bytes = await fileBytes(file, state.layout.listReadLimit);
    } catch (e) {
      say(`${file.name} could not be read (${e.message}); a folder cannot be opened: open the list in it.`);
      return;
    }
    if (csv && file.size > bytes.length) {
      say(`${file.name} is too large for a channel list.`);
      return;
    }
    state.source = { kind: csv ? "csv" : "dat", name: file.name, file, given: bytes.length };
    state.unsaved = false;
    takeFields(csv ? core.open_csv(bytes, file.name) : core.open_list(bytes, file.name));
    performance.mark("list-shown");
  }

  function newList() {
    if (!mayReplaceList("A new list")) return;
    state.source = { kind: "new", name: "", file: null, given: 0 };
    state.unsaved = false;
    takeFields(core.new_list());
  }

  function download(name, parts, type) {
    const url = URL.createObjectURL(new Blob(parts, { type }));
    const a = document.createElement("a");
    a.href = url;
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  function saveList() {
    if (!recheck().savable) {
      say("Not saved: every field must hold one word the file can hold; fix the fields marked.");
      return;
    }
    const parts = [core.list_text()];
    // What the page did not read of a long file follows as it stands.
    const source = state.source;
    if (source.kind === "dat" && source.file && source.file.size > source.given) parts.push(source.file.slice(source.given));
    state.unsaved = false;
    download(state.layout.names.list, parts, "text/plain");
  }

  function saveCsv() {
    const name = state.source.kind === "csv" ? state.source.name : "freq.csv";
    download(name, [core.list_csv()], "text/csv");
  }

  function saveStream() {
    if (!recheck().sound) {
      say(`Not saved: the list has errors; fix the fields marked to save ${state.layout.names.stream}, the file that programs the radio.`);
      return;
    }
    download(state.layout.names.stream, [core.stream()], "application/octet-stream");
  }

  function setBlank(row, blank) {
    state.unsaved = true;
    for (const column of [1, 2]) {
      const i = row * state.layout.columns + column;
      if (blank) {
        if (!state.fields[i].startsWith("-")) state.before.set(i, state.fields[i]);
        setField(i, "-");
      } else if (state.before.has(i)) {
        setField(i, state.before.get(i));
        state.before.delete(i);
      }
      inputs[i].value = state.fields[i];
    }
    recheck();
  }

  // Cells copied from a spreadsheet, pasted into field `at`: they fill the
  // table from there, to the right and down.
  function paste(at, text) {
    const answer = core.paste(at, text);
    state.unsaved = true;
    state.fields = answer.fields;
    drawFields();
    recheck();
  }

  function print() {
    const columns = state.layout.columns, rows = state.layout.rows;
    const body = [];
    for (let row = 1; row <= rows; ++row) {
      const tr = document.createElement("tr");
      const cells = [String(row), state.fields[row * columns]];
      for (const column of [1, 2]) {
        const i = row * columns + column;
        cells.push(state.check.readings[i].replace(/ MHz$/, "") || state.fields[i]);
      }
      for (const text of cells) {
        const td = document.createElement("td");
        td.textContent = text;
        tr.append(td);
      }
      body.push(tr);
    }
    $("print-rows").replaceChildren(...body);
    $("print-date").textContent = new Date().toLocaleDateString(undefined, { dateStyle: "long" });
    window.print();
  }

  // ---- Streams: looked into, taken into the table ----

  function inspect(bytes, name) {
    return core.inspect(bytes, name);
  }

  async function openStream(file) {
    if (state.transfer) return;
    let bytes;
    try {
      bytes = await fileBytes(file, state.layout.streamLimit + 1);
    } catch (e) {
      $("report-about").textContent = `${file.name} could not be read: ${e.message}`;
      return;
    }
    state.opened = { name: file.name, bytes };
    // Chosen to send by its name alone: a file opened anew is no choice made.
    if (state.chosen === "opened") state.chosen = "table";
    state.report = { about: `${file.name}, opened from this computer`, result: inspect(bytes, file.name), name: file.name, bytes };
    drawReport();
    draw();
    $("report").focus();
  }

  function takeChannels() {
    const report = state.report;
    if (!report || state.transfer || !mayReplaceList("Taking these channels")) return;
    inspect(report.bytes, report.name);
    const answer = core.take_channels(report.name);
    state.source = { kind: "stream", name: "", file: null, given: 0 };
    state.unsaved = true;
    takeFields(answer);
    if (answer.warning) $("report-messages").append(message("warning", "", answer.warning));
    inputs[state.layout.columns + 1].focus();
  }

  // ---- The serial port ----

  // A port held through Web Serial, as the line the send and the capture
  // run on (web_line.cpp). The browser tells nothing of what the system and
  // the adapter hold, so the page reckons the line's time itself: the line
  // is busy with each write from when it is handed over, or from when it is
  // free of the writes before it, for the bytes' time; bytes are handed on
  // a few ahead of the line, and the send's guard covers what the system
  // and the adapter may still hold.
  class WebLine {
    constructor(port, baud) {
      this.port = port;
      this.byteMs = 10000 / baud;
      this.ahead = 16;
      this.handed = 0;
      this.taken = 0;
      this.busyUntil = 0;
      this.spans = []; // {start, count} of each write on the wire
      this.failure = null;
      this.closed = false;
      this.inFlight = null;
      this.writer = null;
      this.reader = null;
      this.reading = null;
      this.chunks = [];
      this.wakers = [];
      this.noise = 0; // read errors the line recovered from
    }

    wake() {
      const wakers = this.wakers;
      this.wakers = [];
      wakers.forEach((w) => w());
    }

    // Waits `ms` (for ever when negative), or until something happens.
    sleep(ms) {
      return new Promise((resolve) => {
        const timer = ms >= 0 ? setTimeout(resolve, ms) : null;
        this.wakers.push(() => {
          clearTimeout(timer);
          resolve();
        });
      });
    }

    stop(why) {
      this.failure = this.failure || why;
      this.wake();
    }

    // Bytes taken that are off the wire by `now`.
    out(now) {
      let gone = 0;
      for (const span of this.spans) gone += Math.max(0, Math.min(span.count, Math.floor((now - span.start) / this.byteMs)));
      return Math.min(gone, this.taken);
    }

    write(bytes) {
      if (this.failure) return -1;
      if (this.inFlight) return 0;
      const now = performance.now();
      const room = this.ahead - (this.handed - this.out(now));
      if (room <= 0) return 0;
      const n = Math.min(room, bytes.length);
      if (!this.writer) this.writer = this.port.writable.getWriter();
      const start = Math.max(this.busyUntil, now);
      this.busyUntil = start + n * this.byteMs;
      this.spans.push({ start, count: n });
      this.handed += n;
      this.inFlight = this.writer.write(bytes.slice(0, n)).then(
        () => { this.taken += n; },
        (e) => { this.failure = this.failure || (e && e.message) || String(e); },
      ).finally(() => {
        this.inFlight = null;
        this.wake();
      });
      return n;
    }

    async waitWritable(ms) {
      if (this.failure) return;
      await this.sleep(Math.min(ms, Math.max(this.byteMs, 1)));
    }

    queued() {
      return this.failure ? -1 : this.handed - this.out(performance.now());
    }

    async waitDrained(ms) {
      if (this.failure) return -1;
      const left = this.inFlight || this.taken < this.handed ? ms : this.busyUntil - performance.now();
      if (left > 0) await this.sleep(Math.min(ms, left));
      if (this.failure) return -1;
      return !this.inFlight && this.taken === this.handed && performance.now() >= this.busyUntil ? 1 : 0;
    }

    hold(ms) {
      return new Promise((resolve) => setTimeout(resolve, ms));
    }

    discard() {
      if (this.writer) this.writer.abort().catch(() => {});
      this.aborted = true;
    }

    // Reads until the port closes. A framing, parity, break or overrun
    // error ends a reader, and the port offers a new one: that is noise, as
    // the commands skip noise, and the reading goes on.
    async pump() {
      const recoverable = ["BreakError", "FramingError", "ParityError", "BufferOverrunError"];
      for (;;) {
        try {
          this.reader = this.port.readable.getReader();
          for (;;) {
            const got = await this.reader.read();
            const value = got.value;
            if (got.done) {
              this.closed = true;
              this.wake();
              return;
            }
            if (value && value.length) this.chunks.push(value);
            this.wake();
          }
        } catch (e) {
          if (this.closing || !this.port.readable || !recoverable.includes(e && e.name)) {
            this.failure = this.failure || (e && e.message) || String(e);
            this.wake();
            return;
          }
          ++this.noise;
          try {
            this.reader.releaseLock();
          } catch (ignored) {
            // A reader that errored holds no lock.
          }
        }
      }
    }

    async read(most, ms) {
      if (!this.reading) this.reading = this.pump();
      const until = performance.now() + ms;
      for (;;) {
        if (this.chunks.length) {
          const first = this.chunks[0];
          if (first.length <= most) return this.chunks.shift();
          this.chunks[0] = first.subarray(most);
          return first.subarray(0, most);
        }
        if (this.failure) return -1;
        if (this.closed) return -2;
        const left = ms < 0 ? -1 : until - performance.now();
        if (ms >= 0 && left <= 0) return 0;
        await this.sleep(left);
      }
    }

    // Gives the port back; a send has already waited for its last bytes.
    async close() {
      this.closing = true;
      try {
        if (this.reader) {
          await this.reader.cancel();
          this.reader.releaseLock();
        }
        if (this.reading) await this.reading;
        if (this.writer) {
          if (!this.aborted) await this.writer.close();
          this.writer.releaseLock();
        }
      } catch (e) {
        // The port is closed all the same.
      }
      try {
        await this.port.close();
      } catch (e) {
        // Nothing more can be done for a port that is gone.
      }
    }
  }

  function hex4(n) {
    return n.toString(16).padStart(4, "0").toUpperCase();
  }

  function portName(port) {
    const info = port.getInfo ? port.getInfo() : {};
    return info.usbVendorId !== undefined
      ? `serial port (USB ${hex4(info.usbVendorId)}:${hex4(info.usbProductId)})`
      : "serial port";
  }

  // Where people get stuck, and the common causes.
  const help = {
    noPort: [
      "The cable's port is not in the list? On Windows and macOS the cable may need its maker's driver (FTDI, Silicon Labs CP210x, WCH CH340, Prolific PL2303).",
      "Some USB cables carry only power: try another cable.",
      "Unplug the cable, plug it in again, and try again.",
    ],
    notOpen: [
      "Another program may hold the port (a terminal program, a programming tool, this page in another tab): close it.",
      "On Linux your user must be in the port's group: sudo usermod -aG dialout $USER, then log in again.",
      "Unplug the cable, plug it in again, and try again.",
    ],
    silent: [
      "Put the radio in the mode in which it sends its memory (its manual may call it clone, PC or data mode), press the button here first, then start the send on the radio.",
      "The cable must sit firmly in the radio's programming socket.",
      "The speed chosen must be the radio's (9600 unless its manual says otherwise).",
    ],
    deaf: [
      "Put the radio in the mode in which it takes a new memory (its manual may call it clone, PC or data mode).",
      "The cable must sit firmly in the radio's programming socket.",
    ],
  };

  function setOutcome(sign, text, helpLines = null) {
    state.outcome = { sign, text, help: helpLines };
    drawTransfer();
  }

  Module.onProgress = (done, total, text) => {
    state.progress = { done, total, text };
    drawTransfer();
  };

  // One transfer at a time, from the click: a port is asked for and opened,
  // `work` runs on it, and the port is given back whatever happens.
  async function transfer(kind, work) {
    const baud = Number($("speed").value);
    state.transfer = { kind, line: null, stopped: false };
    state.progress = { done: 0, total: 1, text: "" };
    setOutcome("busy", "Choose the radio's port.");
    draw();
    let port = null;
    let opened = false;
    try {
      try {
        port = await navigator.serial.requestPort();
      } catch (e) {
        setOutcome("failed", "No port was chosen.", help.noPort);
        return null;
      }
      if (state.transfer.stopped) {
        setOutcome("stopped", "Stopped before the port was opened.");
        return null;
      }
      try {
        await port.open({ baudRate: baud, dataBits: 8, stopBits: 1, parity: "none", flowControl: "none" });
        opened = true;
      } catch (e) {
        setOutcome("failed", `The ${portName(port)} could not be opened (${e.message}).`, help.notOpen);
        return null;
      }
      const line = new WebLine(port, baud);
      state.transfer.line = line;
      Module.line = line;
      return await work(line, portName(port), baud);
    } catch (e) {
      setOutcome("failed", `The transfer ended on an error of the page: ${e.message}`);
      return null;
    } finally {
      if (state.transfer.line) await state.transfer.line.close();
      else if (opened) await port.close().catch(() => {});
      state.transfer = null;
      draw();
    }
  }

  function stop() {
    if (!state.transfer) return;
    state.transfer.stopped = true;
    if (state.transfer.line) state.transfer.line.stop("stopped by the user");
  }

  // The stream chosen to send: {name, bytes}, or why there is none.
  function chosenStream() {
    if (state.chosen === "opened" && state.opened) return state.opened;
    if (state.chosen === "backup" && state.backup) return { name: state.layout.names.backup, bytes: state.backup.bytes };
    if (!recheck().sound) return { why: "the channel list has errors; fix the fields marked" };
    return { name: state.layout.names.stream, bytes: core.stream() };
  }

  async function send() {
    if (state.transfer) return;
    state.retry = send;
    const chosen = chosenStream();
    if (chosen.why) {
      setOutcome("failed", `Not sent: ${chosen.why}.`);
      return;
    }
    // Checked before any port is asked for, in the inspector's words.
    const result = inspect(chosen.bytes, chosen.name);
    if (!result.sound) {
      state.report = { about: `${chosen.name}, chosen to send`, result, name: chosen.name, bytes: chosen.bytes };
      drawReport();
      setOutcome("failed", `Not sent: ${chosen.name} is not ready to send (see the Report).`);
      return;
    }
    const baud = Number($("speed").value);
    if (!confirm(`Send ${chosen.name} to the radio at ${baud} baud?\n\nIt replaces every channel in the radio with ${plural(result.inUse, "channel", "channels")} in use and ${result.blank} blank.`)) {
      setOutcome("stopped", "Not sent: you chose not to.");
      return;
    }
    await transfer("send", async (line, name) => {
      setOutcome("busy", `Sending ${chosen.name} at ${baud} baud.`);
      const sent = await core.send(chosen.bytes, baud, name);
      if (!sent.failure) {
        state.sent = chosen;
        setOutcome("done", `Sent: ${sent.done}. Check the radio (step 4) to see that it holds it.`);
      } else if (state.transfer.stopped) {
        setOutcome("stopped", `Stopped: not sent whole: ${sent.failure}`);
      } else {
        setOutcome("failed", `Not sent whole: ${sent.failure}`, /timed out/.test(sent.failure) ? help.deaf : null);
      }
    });
  }

  // Reads one stream from the radio: {bytes, result, noise}, or null.
  async function capture(line, name, waiting) {
    setOutcome("busy", waiting);
    const got = await core.capture(state.layout.silenceMs, name);
    const bytes = got.size > 0 ? core.captured() : null;
    const errors = line.noise ? ` The line reported ${plural(line.noise, "read error", "read errors")} (framing, parity, break or overrun), skipped as noise.` : "";
    if (!bytes) {
      setOutcome(state.transfer.stopped ? "stopped" : "failed", `Nothing came from the radio${got.failure && !state.transfer.stopped ? `: ${got.failure}` : ""}.${errors}`, help.silent);
      return null;
    }
    return { bytes, got, errors };
  }

  async function backUp() {
    if (state.transfer) return;
    state.retry = backUp;
    await transfer("backup", async (line, name) => {
      const taken = await capture(line, name, "Waiting for the radio to send: have it send its memory now (Stop ends the wait).");
      if (!taken) return;
      const bytes = taken.bytes, got = taken.got, errors = taken.errors;
      state.backup = { bytes, at: new Date(), saved: false };
      // Chosen to send by its name alone: a backup taken anew is no choice made.
      if (state.chosen === "backup") state.chosen = "table";
      const result = got.inspection || inspect(bytes, state.layout.names.backup);
      state.report = { about: `The backup taken from the radio at ${state.backup.at.toLocaleTimeString()}`, result, noise: got.noise, name: state.layout.names.backup, bytes };
      drawReport();
      const kept = " Save backup.bin keeps the bytes as they came.";
      if (got.failure) setOutcome("failed", `Backup ended: ${got.failure}; ${bytes.length} bytes came.${kept}${errors}`);
      else if (!result.sound) setOutcome("failed", `Received ${bytes.length} bytes, which are no whole memory (see the Report).${kept}${errors}`);
      else setOutcome("done", `Backed up: received ${bytes.length} bytes.${kept}${errors}`);
    });
  }

  async function checkRadio() {
    if (state.transfer) return;
    state.retry = checkRadio;
    const meant = state.sent || chosenStream();
    if (meant.why) {
      setOutcome("failed", `Nothing to compare with: send to the radio first, or make the table ready to send (${meant.why}).`);
      return;
    }
    await transfer("check", async (line, name) => {
      const taken = await capture(line, name, "Waiting for the radio to send: have it send its memory now (Stop ends the wait).");
      if (!taken) return;
      state.comparison = core.compare(meant.bytes, taken.bytes);
      drawComparison();
      if (state.comparison.errors) setOutcome("failed", `What came from the radio cannot be compared: ${state.comparison.errors.join("; ")}.${taken.errors}`);
      else if (state.comparison.same) setOutcome("done", `The radio holds what was sent.${taken.errors}`);
      else setOutcome("failed", `The radio holds something else: see step 4.${taken.errors}`);
    });
  }

  // ---- Building the page and wiring its controls ----

  function buildTable() {
    const columns = state.layout.columns, rows = state.layout.rows;
    const names = ["label", "transmit", "receive"];
    for (let i = 0; i < columns; ++i) inputs[i] = $(`f${i}`);
    const body = $("rows");
    for (let row = 1; row <= rows; ++row) {
      const tr = document.createElement("tr");
      const number = document.createElement("th");
      number.scope = "row";
      number.textContent = String(row);
      tr.append(number);
      for (let column = 0; column < columns; ++column) {
        const index = row * columns + column;
        const td = document.createElement("td");
        td.dataset.title = names[column][0].toUpperCase() + names[column].slice(1);
        const input = document.createElement("input");
        input.id = `f${index}`;
        input.spellcheck = false;
        input.autocomplete = "off";
        input.setAttribute("aria-label", `Channel ${row} ${names[column]}`);
        if (column === 0) input.className = "label";
        td.append(input);
        if (column > 0) {
          const reading = document.createElement("span");
          reading.className = "reading";
          reading.id = `r${index}`;
          td.append(reading);
        }
        inputs[index] = input;
        tr.append(td);
      }
      const blankCell = document.createElement("td");
      blankCell.dataset.title = "Blank";
      const blank = document.createElement("input");
      blank.type = "checkbox";
      blank.id = `b${row}`;
      blank.setAttribute("aria-label", `Channel ${row} blank`);
      blank.addEventListener("change", () => setBlank(row, blank.checked));
      blankCell.append(blank);
      tr.append(blankCell);
      const said = document.createElement("tr");
      const saidCell = document.createElement("td");
      saidCell.colSpan = 5;
      saidCell.className = "row-messages";
      saidCell.innerHTML = `<div class="messages" id="m${row}"></div>`;
      said.append(saidCell);
      body.append(tr, said);
    }
    inputs.forEach((input, index) => {
      input.addEventListener("input", () => {
        if (state.transfer) return;
        state.unsaved = true;
        setField(index, input.value);
        recheck();
      });
      // A frequency in MHz becomes the entry it means once the field is left.
      input.addEventListener("change", () => {
        if (!state.transfer && settle(index)) recheck();
      });
      input.addEventListener("paste", (e) => {
        const text = e.clipboardData.getData("text");
        if (state.transfer || !/[\t\r\n]/.test(text.replace(/(\r\n|\r|\n)$/, ""))) return;
        e.preventDefault();
        paste(index, text);
      });
      // Up, Down and Enter move to the same column of the next row.
      input.addEventListener("keydown", (e) => {
        const step = { ArrowDown: 1, Enter: 1, ArrowUp: -1 }[e.key];
        const next = index + (step || 0) * columns;
        if (!step || e.altKey || e.ctrlKey || e.metaKey || next < 0 || next >= inputs.length) return;
        e.preventDefault();
        inputs[next].focus();
        inputs[next].select();
      });
    });
  }

  function takeFiles(input, use) {
    input.addEventListener("change", () => {
      const file = input.files[0];
      input.value = "";
      if (file) use(file);
    });
  }

  // A file dropped on `section` is opened by `use`; a folder is refused in
  // words.
  function dropTarget(section, use, refuse) {
    section.addEventListener("dragover", (e) => {
      e.preventDefault();
      section.classList.add("dragging");
    });
    section.addEventListener("dragleave", () => section.classList.remove("dragging"));
    section.addEventListener("drop", (e) => {
      e.preventDefault();
      e.stopPropagation();
      section.classList.remove("dragging");
      const item = e.dataTransfer.items && e.dataTransfer.items[0];
      const entry = item && item.webkitGetAsEntry ? item.webkitGetAsEntry() : null;
      const file = e.dataTransfer.files[0];
      if (state.transfer) refuse("Nothing can be opened while a transfer runs.");
      else if (entry && entry.isDirectory) refuse(`${file ? file.name : "That"} is a folder: drop a file, not a folder.`);
      else if (file) use(file);
    });
  }

  function start() {
    state.layout = core.layout();
    buildTable();
    takeFields(core.new_list());
    takeFiles($("list-file"), openList);
    takeFiles($("stream-file"), openStream);
    const on = (id, act) => $(id).addEventListener("click", act);
    on("open-list", () => $("list-file").click());
    on("open-stream", () => $("stream-file").click());
    on("save-list", saveList);
    on("save-csv", saveCsv);
    on("save-stream", saveStream);
    on("new-list", newList);
    on("print", print);
    on("take-channels", takeChannels);
    on("save-backup", () => {
      if (!state.backup) return;
      state.backup.saved = true;
      download(state.layout.names.backup, [state.backup.bytes], "application/octet-stream");
    });
    on("capture", backUp);
    on("send", send);
    on("check", checkRadio);
    on("stop", stop);
    on("try-again", () => state.retry && state.retry());
    for (const radio of document.querySelectorAll("input[name=what]"))
      radio.addEventListener("change", () => {
        state.chosen = radio.value;
      });
    // A file dropped anywhere else is not opened in place of the page.
    for (const type of ["dragover", "drop"]) document.addEventListener(type, (e) => e.preventDefault());
    // Nor are edits, a backup not saved or a transfer lost to a tab closed
    // by mistake: the browser asks (returnValue for older Chrome and Edge).
    window.addEventListener("beforeunload", (e) => {
      if (state.unsaved || (state.backup && !state.backup.saved) || state.transfer) {
        e.preventDefault();
        e.returnValue = "";
      }
    });
    dropTarget($("channels"), openList, say);
    dropTarget($("look"), openStream, (text) => {
      $("report-about").textContent = text;
    });
    if (!serial) $("no-serial").hidden = false;
    draw();
    performance.mark("table-ready");
    document.body.dataset.ready = "true";
  }

  Module.onRuntimeInitialized = start;
})();
