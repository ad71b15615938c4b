// A navigator.serial for the page's tests, put in place before the page's
// scripts run: each port models a UART at the speed it is opened with,
// behind a system buffer and a transmit FIFO the page cannot see, and
// records what the page did with it in window.serialModel.runs. The test
// sets serialModel.port to say how the next port behaves:
//   fifo       bytes the adapter holds that have not begun on the wire
//   system     bytes the system below Web Serial takes before the adapter:
//              a write ends as soon as they fit
//   inUse      open fails as for a port another program holds
//   openMs     open takes this long
//   pullAfter  the cable is pulled once this many bytes have been taken
//   deaf       the line takes nothing: writes never end
//   incoming   {noise, bytes, errorsAt}: what the radio sends, at the
//              line's pace, after which the line is silent; at each offset
//              in errorsAt a framing error ends the reader, and the port
//              offers a new one, as Web Serial does
// serialModel.cancel makes the next chooser end with no port chosen.
(() => {
  const model = { port: { fifo: 128 }, runs: [], requested: 0, cancel: false };
  window.serialModel = model;
  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  class ModelPort {
    constructor(behaviour) {
      this.behaviour = behaviour;
      this.current = null;
    }

    getInfo() {
      return { usbVendorId: 0x0403, usbProductId: 0x6001 };
    }

    get readable() {
      return this.current;
    }

    async open(settings) {
      const run = { settings, wire: [], finish: [], progress: [], closedAt: null, failedAt: null, readers: 0 };
      model.runs.push(run);
      const how = this.behaviour;
      if (how.openMs) await sleep(how.openMs);
      if (how.inUse) throw new DOMException("Failed to open serial port.", "NetworkError");
      const byteMs = 10000 / settings.baudRate;
      const room = (how.fifo || 0) + (how.system || 0);
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
              if (run.finish.length - begun < room) break;
              await sleep(byteMs);
            }
            const last = run.finish.length ? run.finish[run.finish.length - 1] : 0;
            run.wire.push(byte);
            run.finish.push(Math.max(last, performance.now()) + byteMs);
          }
        },
      });
      const incoming = how.incoming;
      const bytes = incoming ? [...(incoming.noise || []), ...incoming.bytes] : [];
      const errorsAt = incoming && incoming.errorsAt ? [...incoming.errorsAt] : [];
      let at = 0;
      // One reader's stream: the bytes from `at` on, until the next error.
      const stream = () => {
        ++run.readers;
        return new ReadableStream({
          start: async (controller) => {
            while (at < bytes.length) {
              await sleep(64 * byteMs);
              if (errorsAt.length && at >= errorsAt[0]) {
                errorsAt.shift();
                this.current = stream();
                controller.error(new DOMException("A framing error was detected.", "FramingError"));
                return;
              }
              controller.enqueue(new Uint8Array(bytes.slice(at, at + 64)));
              at += 64;
            }
          },
        });
      };
      this.current = stream();
    }

    async close() {
      model.runs[model.runs.length - 1].closedAt = performance.now();
    }
  }

  const serial = {
    async requestPort() {
      model.requested++;
      if (model.cancel) {
        model.cancel = false;
        throw new DOMException("No port selected by the user.", "NotFoundError");
      }
      return new ModelPort({ ...model.port });
    },
    async getPorts() {
      return [];
    },
  };
  Object.defineProperty(Navigator.prototype, "serial", { value: serial, configurable: true });
})();
