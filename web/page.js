// The page: the channel table, the stream check and the serial port. Every
// check, message, stream, report and the way a send ends come from the
// commands' own code (the C functions page_*); this file shows what they
// say and moves bytes between files, the code and the port.
"use strict";

(() => {
  const $ = (id) => document.getElementById(id);
  const COLUMNS = 3;
  const ROWS = 20;
  const FIELDS = (ROWS + 1) * COLUMNS;
  const STREAM_LIMIT = 1 << 20; // what freqimg-inspect reads at most, and one byte more
  const SILENCE_MS = 5000;
  const columnNames = ["label", "transmit", "receive"];

  const inputs = [];
  let shownMessages = new Set();
  let opened = null; // the stream opened: {name, bytes}
  let captured = null;
  let line = null;
  let unsaved = false; // edits since the list was opened or saved

  // Bytes into the module's memory, for the length of `use`.
  function withBytes(bytes, use) {
    const at = _malloc(Math.max(bytes.length, 1));
    HEAPU8.set(bytes, at);
    try {
      return use(at);
    } finally {
      _free(at);
    }
  }

  function fieldsFrom(json) {
    const fields = JSON.parse(json);
    fields.forEach((text, i) => { inputs[i].value = text; });
  }

  function download(name, bytes, type) {
    const url = URL.createObjectURL(new Blob([bytes], { type }));
    const a = document.createElement("a");
    a.href = url;
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  function message(kind, text, id) {
    const p = document.createElement("p");
    p.className = kind;
    if (id) p.id = id;
    // Said in words and by a sign, not by colour alone.
    p.textContent = (kind === "error" ? "\u2716 Error: " : "\u26a0 Warning: ") + text;
    return p;
  }

  // Builds the twenty rows: number, label, transmit, receive, blank, and a
  // row for what is said of them.
  function buildTable() {
    for (let i = 0; i < COLUMNS; ++i) inputs[i] = $("f" + i);
    const body = $("rows");
    for (let row = 1; row <= ROWS; ++row) {
      const tr = document.createElement("tr");
      const number = document.createElement("th");
      number.scope = "row";
      number.textContent = String(row);
      tr.append(number);
      for (let column = 0; column < COLUMNS; ++column) {
        const index = row * COLUMNS + column;
        const td = document.createElement("td");
        td.dataset.title = columnNames[column][0].toUpperCase() + columnNames[column].slice(1);
        const input = document.createElement("input");
        input.id = "f" + index;
        input.spellcheck = false;
        input.autocomplete = "off";
        input.setAttribute("aria-label", `Channel ${row} ${columnNames[column]}`);
        if (column === 0) input.className = "label";
        td.append(input);
        if (column > 0) {
          const reading = document.createElement("span");
          reading.className = "reading";
          reading.id = "r" + index;
          td.append(reading);
          input.setAttribute("aria-describedby", reading.id);
        }
        inputs[index] = input;
        tr.append(td);
      }
      const blankCell = document.createElement("td");
      blankCell.dataset.title = "Blank";
      const blank = document.createElement("input");
      blank.type = "checkbox";
      blank.id = "b" + row;
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
        unsaved = true;
        ccall("page_set_field", null, ["number", "string"], [index, input.value]);
        check();
      });
      // A frequency in MHz becomes the entry it means once the field is left.
      input.addEventListener("change", () => {
        if (ccall("page_settle_field", "number", ["number"], [index])) {
          fieldsFrom(ccall("page_fields", "string", [], []));
          check();
        }
      });
    });
  }

  function setBlank(row, blank) {
    unsaved = true;
    for (const column of [1, 2]) {
      const input = inputs[row * COLUMNS + column];
      if (blank) {
        input.dataset.before = input.value.startsWith("-") ? "" : input.value;
        input.value = "-";
      } else if (input.dataset.before) {
        input.value = input.dataset.before;
      }
      ccall("page_set_field", null, ["number", "string"], [row * COLUMNS + column, input.value]);
    }
    check();
  }

  // Checks the list as it stands and shows what freqimg says of it, at the
  // fields it is about.
  function check() {
    const result = JSON.parse(ccall("page_check", "string", [], []));
    const byRow = new Map();
    const general = [];
    const marks = new Array(FIELDS).fill(null);
    const fresh = [];
    const now = new Set();
    result.messages.forEach(([field, error, text], n) => {
      const kind = error ? "error" : "warning";
      const key = kind + text;
      now.add(key);
      if (!shownMessages.has(key)) fresh.push(text);
      const p = message(kind, text, "msg" + n);
      if (field >= FIELDS) {
        general.push(p);
        return;
      }
      const row = Math.floor(field / COLUMNS);
      if (!byRow.has(row)) byRow.set(row, []);
      byRow.get(row).push(p);
      if (marks[field] !== "error") marks[field] = kind;
      inputs[field].dataset.said = (inputs[field].dataset.said || "") + " msg" + n;
    });
    for (let row = 0; row <= ROWS; ++row) $("m" + row).replaceChildren(...(byRow.get(row) || []));
    $("list-messages").replaceChildren(...general);
    inputs.forEach((input, i) => {
      input.setAttribute("aria-invalid", marks[i] === "error" ? "true" : "false");
      input.classList.toggle("warned", marks[i] === "warning");
      const reading = i % COLUMNS !== 0 && i >= COLUMNS ? "r" + i : "";
      const said = (input.dataset.said || "").trim();
      delete input.dataset.said;
      const described = [reading, said].filter(Boolean).join(" ");
      if (described) input.setAttribute("aria-describedby", described);
      else input.removeAttribute("aria-describedby");
      if (reading) $(reading).textContent = result.readings[i];
    });
    for (let row = 1; row <= ROWS; ++row)
      $("b" + row).checked = inputs[row * COLUMNS + 1].value.startsWith("-") &&
        inputs[row * COLUMNS + 2].value.startsWith("-");
    const errors = result.messages.filter((m) => m[1]).length;
    const warnings = result.messages.length - errors;
    $("list-summary").textContent = errors
      ? `${errors} ${errors === 1 ? "error" : "errors"}, ${warnings} ${warnings === 1 ? "warning" : "warnings"}: mend the fields marked, then save upload.bin.`
      : `The list is sound${warnings ? `, with ${warnings} ${warnings === 1 ? "warning" : "warnings"}` : ""}: upload.bin can be saved or sent.`;
    // New messages are said as they appear, not the whole list again.
    if (fresh.length) $("announce").textContent = fresh.join(". ");
    shownMessages = now;
    document.body.dataset.checks = String(Number(document.body.dataset.checks || 0) + 1);
    return result;
  }

  function streamBytes() {
    const size = ccall("page_stream_size", "number", [], []);
    const at = ccall("page_stream", "number", [], []);
    return HEAPU8.slice(at, at + size);
  }

  function openList(bytes) {
    unsaved = false;
    withBytes(bytes, (at) => fieldsFrom(ccall("page_open_list", "string", ["number", "number"], [at, bytes.length])));
    check();
  }

  function saveList() {
    const result = check();
    if (!result.savable) {
      $("list-summary").textContent = "Not saved: every field must hold one word; mend the fields marked.";
      return;
    }
    unsaved = false;
    const at = ccall("page_list_text", "number", [], []);
    download("freq.dat", HEAPU8.slice(at, at + ccall("page_answer_size", "number", [], [])), "text/plain");
  }

  function saveStream() {
    if (!check().sound) {
      $("list-summary").textContent = "Not saved: the list has errors; mend the fields marked.";
      return;
    }
    download("upload.bin", streamBytes(), "application/octet-stream");
  }

  // What freqimg-inspect says of `bytes`, read from the file `name`.
  function inspect(bytes, name) {
    return JSON.parse(withBytes(bytes, (at) =>
      ccall("page_inspect", "string", ["number", "number", "string"], [at, bytes.length, name])));
  }

  function showReport(result, before = []) {
    const said = [...before];
    result.errors.forEach((text) => said.push(message("error", text)));
    result.warnings.forEach((text) => said.push(message("warning", text)));
    $("report-messages").replaceChildren(...said);
    $("report-text").textContent = result.report;
    $("take-channels").hidden = !result.sound;
    $("report").dataset.shown = String(Number($("report").dataset.shown || 0) + 1);
  }

  // The stream that Send can send instead of the table's.
  function setOpened(name, bytes) {
    opened = { name, bytes };
    $("what-opened").disabled = false;
    $("what-opened").parentElement.lastChild.textContent = ` the stream opened (${name})`;
  }

  function openStream(name, bytes) {
    setOpened(name, bytes);
    showReport(inspect(bytes, name));
    $("report").focus();
  }

  function takeChannels() {
    const result = JSON.parse(ccall("page_take_channels", "string", ["string"], [opened ? opened.name : "backup.bin"]));
    fieldsFrom(JSON.stringify(result.fields));
    if (result.warning) $("report-messages").append(message("warning", result.warning));
    check();
    inputs[COLUMNS + 1].focus();
  }

  async function fileBytes(file, most) {
    return new Uint8Array(await file.slice(0, most).arrayBuffer());
  }

  function takeFiles(input, use) {
    input.addEventListener("change", () => {
      const file = input.files[0];
      input.value = "";
      if (file) use(file);
    });
  }

  function listFile(file) {
    performance.mark("list-chosen");
    // freqimg reads what it needs of "freq.dat" and looks past it; a few
    // megabytes are more than any list.
    fileBytes(file, 16 << 20).then((bytes) => {
      openList(bytes);
      performance.mark("list-shown");
    });
  }

  function streamFile(file) {
    fileBytes(file, STREAM_LIMIT + 1).then((bytes) => openStream(file.name, bytes));
  }

  function dropTarget(section, use) {
    section.addEventListener("dragover", (e) => {
      e.preventDefault();
      section.classList.add("dragging");
    });
    section.addEventListener("dragleave", () => section.classList.remove("dragging"));
    section.addEventListener("drop", (e) => {
      e.preventDefault();
      section.classList.remove("dragging");
      const file = e.dataTransfer.files[0];
      if (file) use(file);
    });
  }

  // ---- The serial port ----

  // A port held through Web Serial, as the line the send and the capture
  // run on (web_line.cpp). The browser tells nothing of what the system and
  // the adapter hold, so bytes are handed on no faster than the line takes
  // them, a few ahead: what may still be queued is then the few, and the
  // adapter's FIFO, which the send's guard waits for.
  class WebLine {
    constructor(port, baud) {
      this.port = port;
      this.byteMs = 10000 / baud;
      this.ahead = 16;
      this.handed = 0;
      this.taken = 0;
      this.start = null;
      this.failure = null;
      this.closed = false;
      this.inFlight = null;
      this.writer = null;
      this.reader = null;
      this.chunks = [];
      this.wakers = [];
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

    paced() {
      return this.start === null ? 0 : Math.floor((performance.now() - this.start) / this.byteMs);
    }

    write(bytes) {
      if (this.failure) return -1;
      if (this.inFlight) return 0;
      if (this.start === null) this.start = performance.now();
      const room = this.paced() + this.ahead - this.handed;
      if (room <= 0) return 0;
      const n = Math.min(room, bytes.length);
      if (!this.writer) this.writer = this.port.writable.getWriter();
      this.handed += n;
      this.inFlight = this.writer.write(bytes.subarray(0, n)).then(
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
      const due = this.start + (this.handed - this.ahead + 1) * this.byteMs - performance.now();
      if (this.inFlight || due > 0) await this.sleep(Math.min(ms, Math.max(due, 1)));
    }

    queued() {
      return this.failure ? -1 : this.handed - this.taken;
    }

    // The system's drain as the page can know it: every byte passed on, and
    // the line's time for all of them gone.
    drained() {
      const due = this.start === null ? 0 : this.start + this.handed * this.byteMs;
      return !this.inFlight && this.taken === this.handed && performance.now() >= due ? 0 : due;
    }

    async waitDrained(ms) {
      if (this.failure) return -1;
      let due = this.drained();
      if (due !== 0) await this.sleep(Math.min(ms, Math.max(due - performance.now(), 1)));
      if (this.failure) return -1;
      due = this.drained();
      return due === 0 ? 1 : 0;
    }

    hold(ms) {
      return new Promise((resolve) => setTimeout(resolve, ms));
    }

    discard() {
      if (this.writer) this.writer.abort().catch(() => {});
      this.aborted = true;
    }

    async pump() {
      try {
        for (;;) {
          const { value, done } = await this.reader.read();
          if (done) break;
          if (value && value.length) this.chunks.push(value);
          this.wake();
        }
        this.closed = true;
      } catch (e) {
        this.failure = this.failure || (e && e.message) || String(e);
      }
      this.wake();
    }

    async read(most, ms) {
      if (!this.reader) {
        this.reader = this.port.readable.getReader();
        this.pump();
      }
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

    // Gives the port back; the send has already waited for its last bytes.
    async close() {
      try {
        if (this.reader) {
          await this.reader.cancel();
          this.reader.releaseLock();
        }
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

  function radioStatus(text) {
    $("radio-status").textContent = text;
  }

  function busy(on) {
    $("send").disabled = on;
    $("capture").disabled = on;
    $("stop").disabled = !on;
  }

  // Asks for a port and opens it; returns null, having said why, when
  // there is none to use.
  async function openPort(baud) {
    let port;
    try {
      port = await navigator.serial.requestPort();
    } catch (e) {
      radioStatus("No port was chosen.");
      return null;
    }
    try {
      await port.open({ baudRate: baud, dataBits: 8, stopBits: 1, parity: "none", flowControl: "none" });
    } catch (e) {
      radioStatus(`The ${portName(port)} could not be opened; another program may be using it (${e.message}).`);
      return null;
    }
    return port;
  }

  Module.onProgress = (done, total, text) => {
    $("progress").max = total;
    $("progress").value = done;
    $("progress-text").textContent = text;
  };

  async function send() {
    const baud = Number($("speed").value);
    let bytes = null;
    let name = "upload.bin";
    if (document.querySelector("input[name=what]:checked").value === "opened" && opened) {
      ({ bytes, name } = opened);
    } else if (check().sound) {
      bytes = streamBytes();
    } else {
      radioStatus("Not sent: the channel list has errors; mend the fields marked.");
      return;
    }
    // Checked before any port is opened, in the inspector's words.
    const result = inspect(bytes, name);
    showReport(result);
    if (!result.sound) {
      radioStatus(`Not sent: ${name} is not a sound stream (see the Report).`);
      return;
    }
    const port = await openPort(baud);
    if (!port) return;
    line = new WebLine(port, baud);
    Module.line = line;
    busy(true);
    radioStatus(`Sending ${name} at ${baud} baud...`);
    Module.onProgress(0, 1, "");
    const at = _malloc(bytes.length);
    HEAPU8.set(bytes, at);
    let sent;
    try {
      sent = JSON.parse(await ccall("page_send", "string", ["number", "number", "number", "string"],
        [at, bytes.length, baud, portName(port)], { async: true }));
    } finally {
      _free(at);
      await line.close();
      line = null;
      busy(false);
    }
    radioStatus(sent.failure ? `Not sent whole: ${sent.failure}` : `Done: ${sent.done}.`);
  }

  async function capture() {
    const baud = Number($("speed").value);
    const port = await openPort(baud);
    if (!port) return;
    line = new WebLine(port, baud);
    Module.line = line;
    busy(true);
    captured = null;
    $("save-backup").hidden = true;
    radioStatus("Waiting for the radio to send: have it send its memory now (Stop ends the wait).");
    Module.onProgress(0, 1, "");
    let got;
    try {
      got = JSON.parse(await ccall("page_capture", "string", ["number", "string"],
        [SILENCE_MS, portName(port)], { async: true }));
    } finally {
      await line.close();
      line = null;
      busy(false);
    }
    if (got.size > 0) {
      const at = ccall("page_captured", "number", [], []);
      captured = HEAPU8.slice(at, at + got.size);
      $("save-backup").hidden = false;
    }
    const kept = got.size > 0 ? " Save backup.bin keeps the bytes as they came." : "";
    radioStatus((got.failure ? `Capture ended: ${got.failure}.` : `Received ${got.size} bytes.`) + kept);
    const noise = got.noise ? [message("warning", got.noise)] : [];
    if (got.inspection) {
      setOpened("backup.bin", captured);
      showReport(got.inspection, noise);
    } else {
      $("report-messages").replaceChildren(...noise);
      $("report-text").textContent = "";
      $("take-channels").hidden = true;
    }
  }

  function start() {
    buildTable();
    fieldsFrom(ccall("page_new_list", "string", [], []));
    check();
    takeFiles($("list-file"), listFile);
    takeFiles($("stream-file"), streamFile);
    $("open-list").addEventListener("click", () => $("list-file").click());
    $("open-stream").addEventListener("click", () => $("stream-file").click());
    $("save-list").addEventListener("click", saveList);
    $("save-stream").addEventListener("click", saveStream);
    $("new-list").addEventListener("click", () => {
      unsaved = false;
      fieldsFrom(ccall("page_new_list", "string", [], []));
      check();
    });
    $("take-channels").addEventListener("click", takeChannels);
    $("save-backup").addEventListener("click", () => captured && download("backup.bin", captured, "application/octet-stream"));
    // A file dropped anywhere else is not opened in place of the page.
    for (const type of ["dragover", "drop"]) document.addEventListener(type, (e) => e.preventDefault());
    // Nor are edits or a send in progress lost to a tab closed by mistake.
    window.addEventListener("beforeunload", (e) => {
      if (unsaved || line) e.preventDefault();
    });
    dropTarget($("channels"), listFile);
    dropTarget($("stream"), streamFile);
    if ("serial" in navigator) {
      $("send").addEventListener("click", send);
      $("capture").addEventListener("click", capture);
      $("stop").addEventListener("click", () => line && line.stop("stopped by the user"));
    } else {
      $("no-serial").hidden = false;
      for (const id of ["send", "capture", "stop", "speed"]) $(id).disabled = true;
    }
    performance.mark("table-ready");
    document.body.dataset.ready = "true";
  }

  Module.onRuntimeInitialized = start;
})();
