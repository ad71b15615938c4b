// Runs before the module's loader: the module is in the page itself, gzip
// packed and in base64, so the page needs nothing but its own file.
Module.instantiateWasm = (imports, receive) => {
  const packed = Uint8Array.from(atob(document.getElementById("module").textContent), (c) => c.charCodeAt(0));
  new Response(new Blob([packed]).stream().pipeThrough(new DecompressionStream("gzip")))
    .arrayBuffer()
    .then((bytes) => WebAssembly.instantiate(bytes, imports))
    .then((made) => receive(made.instance))
    .catch((e) => {
      const line = document.getElementById("cannot-run");
      line.textContent = `The page could not start in this browser: ${e}`;
      line.hidden = false;
    });
  return {};
};
