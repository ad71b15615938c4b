// A navigator.serial for the page's tests, put in place before the page's
// scripts run: each port models a UART at the speed it is opened with,
// behind a transmit FIFO the page cannot see, and records what the page
// did with it in window.serialModel.runs. The test sets serialModel.port
// to say how the next port behaves:
//   fifo      bytes the adapter holds that have not begun on the wire
//   inUse     open fails as for a port another program holds
//   pullAfter the cable is pulled once this many bytes have been taken
//   deaf      the line takes nothing: writes never end
//   incoming  {noise, bytes}: what the radio sends, at the line's pace,
//             after which the line is silent
(() => {
  const model = { port: { fifo: 128 }, runs: [], requested: 0 };
  window.serialModel = model;
  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  class ModelPort {
    constructor(behaviour) {
      this.behaviour = behaviour;
    }

    getInfo() {
      return { usbVendorId: 0x0403, usbProductId: 0x6001 };
    }

    async open(settings) {
      const run = { settings, wire: [], finish: [], progress: [], closedAt: null, failedAt: null };
      model.runs.push(run);
      const how = this.behaviour;
      if (how.inUse) throw new DOMException("Failed to open serial port.", "NetworkError");
      const byteMs = 10000 / settings.baudRate;
      let begun = 0; // bytes whose start bit has gone out
      this.writable = new WritableStream({
        write: async (chunk) => {
          if (how.deaf) await new Promise(() => {});
          for (const byte of chunk) {
            if (how.pullAfter !== undefined && run.wire.length >= how.pullAfter) {
              run.failedAt = performance.now();
              throw new DOMException("The device has been lost.", "NetworkError");
            }
            for (;;) {
              const now = performance.now();
              while (begun < run.finish.length && run.finish[begun] - byteMs <= now) ++begun;
              if (run.finish.length - begun < how.fifo) break;
              await sleep(byteMs);
            }
            const last = run.finish.length ? run.finish[run.finish.length - 1] : 0;
            run.wire.push(byte);
            run.finish.push(Math.max(last, performance.now()) + byteMs);
          }
        },
      });
      const incoming = how.incoming;
      this.readable = new ReadableStream({
        async start(controller) {
          if (!incoming) return;
          const bytes = [...(incoming.noise || []), ...incoming.bytes];
          for (let at = 0; at < bytes.length; at += 64) {
            await sleep(64 * byteMs);
            controller.enqueue(new Uint8Array(bytes.slice(at, at + 64)));
          }
        },
      });
    }

    async close() {
      model.runs[model.runs.length - 1].closedAt = performance.now();
    }
  }

  const serial = {
    async requestPort() {
      model.requested++;
      return new ModelPort({ ...model.port });
    },
    async getPorts() {
      return [];
    },
  };
  Object.defineProperty(Navigator.prototype, "serial", { value: serial, configurable: true });
})();
