// Read before each suite built for WebAssembly (--pre-js), under node and in the browser alike.
// The page's synthesiser (web/zorbilo-page.js), reduced to its bookkeeping: it takes pieces,
// plays and halts them and renders silence, so the sequencer's path through SDL_mixer's music
// hook runs as in the page. What a piece sounds like is the browser suites' business.
Module.zorbiloMusic = (function () {
  const pieces = new Map();
  let next = 1;
  let playing = 0;
  return {
    ready: true,
    load(bytes) {
      if (!(bytes instanceof Uint8Array) || bytes.length === 0) return 0;
      pieces.set(next, bytes);
      return next++;
    },
    free(id) {
      if (playing === id) playing = 0;
      pieces.delete(id);
    },
    play(id) {
      if (!pieces.has(id)) return -1;
      playing = id;
      return 0;
    },
    halt() {
      playing = 0;
    },
    render(out, frames) {
      out.fill(0, 0, frames * 2);
      return true;
    },
  };
})();
