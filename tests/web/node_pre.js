// Read before each suite built for node (--pre-js): what a desktop gives a program and the page
// gives the game, in the few pieces the suites need. Everything here is node's; the page's own
// versions are web/zorbilo-page.js and the browser.

// The caller's environment, as on a desktop (ctest's GTEST_FILTER, a case's own variables):
// emscripten otherwise starts every program with a fixed environment of its own.
Module.preRun = [].concat(Module.preRun || [], function () {
  for (const name of Object.keys(process.env)) ENV[name] = process.env[name];
});

// The page writes the game's font to /fonts/ipag.ttf before the program starts. On node's real
// file system that name is Debian's copy of the same font (the one scripts/web puts in the site).
Module.preRun.push(function () {
  const pageFont = '/fonts/ipag.ttf';
  const file = process.env.ZORBILO_WEB_FONT || '/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf';
  const real = (path) => (path === pageFont ? file : path);
  for (const name of ['stat', 'lstat', 'open']) {
    const original = FS[name];
    FS[name] = function (path, ...rest) {
      return original.call(FS, real(path), ...rest);
    };
  }
});

// Web Audio for SDL's emscripten audio driver: a context whose script processor is asked for
// its buffers in real time, as a browser asks while the page is idle. Node runs no callbacks
// while the suite holds its one thread, so the suite's sleeps (node_idle.cpp), where a page would
// be idle, call Module.zorbiloIdle.
(function () {
  // The desktops' rate, which the suites' worked examples assume; a browser gives what the
  // output device runs at, often 48 kHz (ZORBILO_WEB_AUDIO_RATE=48000 tries that).
  const rate = Number(process.env.ZORBILO_WEB_AUDIO_RATE) || 44100;
  const processors = new Set();
  const sleeper = new Int32Array(new SharedArrayBuffer(4));
  let inCallback = false;

  class ScriptProcessor {
    constructor(frames, channels) {
      this.frames = frames;
      this.onaudioprocess = null;
      const data = Array.from({ length: channels }, () => new Float32Array(frames));
      this.outputBuffer = {
        numberOfChannels: channels,
        length: frames,
        sampleRate: rate,
        getChannelData: (c) => data[c],
      };
    }
    connect() {
      this.due = performance.now();
      processors.add(this);
    }
    disconnect() {
      processors.delete(this);
    }
    // Runs the buffers that have come due; the time the next one is due.
    run(now) {
      const period = (this.frames / rate) * 1000;
      // Time the suite spent busy is time the device played nothing (a browser's underrun):
      // what it missed is not made up at once, or a sound would end before its length.
      if (now - this.due > period) this.due = now;
      while (this.due <= now && processors.has(this)) {
        if (this.onaudioprocess) this.onaudioprocess({ outputBuffer: this.outputBuffer });
        this.due += period;
      }
      return this.due;
    }
  }

  globalThis.AudioContext = class {
    constructor() {
      this.sampleRate = rate;
      this.state = 'running';
      this.destination = {};
    }
    createScriptProcessor(frames, inputs, outputs) {
      return new ScriptProcessor(frames || 4096, outputs || 2);
    }
    resume() {
      this.state = 'running';
      return Promise.resolve();
    }
    close() {
      this.state = 'closed';
      processors.clear();
      return Promise.resolve();
    }
  };
  // SDL looks for a microphone on the navigator, which node 21 and later have (without one).
  if (typeof navigator === 'undefined') globalThis.navigator = {};
  // emscripten resumes a context on the page's first key or click, listening on its document;
  // node has none, and the stand-in runs from the start. A document that takes listeners and
  // has no canvas, because later emscriptens define that function after this file runs (a
  // replacement of it would not last).
  if (typeof document === 'undefined') {
    globalThis.document = { getElementById: () => null, addEventListener() {}, removeEventListener() {} };
  }

  // Sleeps ms, running the audio that comes due meanwhile.
  Module.zorbiloIdle = function (ms) {
    const until = performance.now() + ms;
    for (;;) {
      let now = performance.now();
      let next = until;
      if (!inCallback) {
        inCallback = true;
        try {
          for (const p of processors) next = Math.min(next, p.run(now));
        } finally {
          inCallback = false;
        }
      }
      now = performance.now();
      if (now >= until) return;
      Atomics.wait(sleeper, 0, 0, Math.max(0, Math.min(next, until) - now));
    }
  };
})();
