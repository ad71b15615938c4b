// The page's first script, the one not packed: a browser that cannot run
// the page is told so in one line; otherwise the page's script, gzip packed
// in base64 in the page itself as its module is, is unpacked and run.
(() => {
  const say = (text) => {
    const line = document.getElementById("cannot-run");
    line.textContent = text;
    line.hidden = false;
  };
  const missing = typeof DecompressionStream !== "function" ? "DecompressionStream"
    : typeof WebAssembly !== "object" ? "WebAssembly" : "";
  if (missing) {
    say(`This browser cannot run the page: it has no ${missing}. Open it in Chrome, Edge, Firefox or Safari of 2023 or later.`);
    return;
  }
  const packed = Uint8Array.from(atob(document.getElementById("script").textContent), (c) => c.charCodeAt(0));
  new Response(new Blob([packed]).stream().pipeThrough(new DecompressionStream("gzip")))
    .text()
    .then((code) => (0, eval)(code))
    .catch((e) => say(`The page could not start in this browser: ${e}`));
})();
