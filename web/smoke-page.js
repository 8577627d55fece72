// The page around the smoke program: loads the files it needs before it starts, runs the
// synthesiser that SDL_mixer's music hook pulls from, and offers the browser test a tap on the
// audio that SDL plays. Everything comes from this page's own folder.
'use strict';

const status = document.getElementById('status');
const say = (text) => { status.textContent = text; };

async function fetchBytes(name) {
  const response = await fetch(name);
  if (!response.ok) throw new Error(`${name}: HTTP ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

// A one-second C major chord on the piano, as a format 0 MIDI file.
function chordMidi() {
  const varLen = (n) => (n < 128 ? [n] : [0x80 | (n >> 7), n & 0x7f]);
  const events = [
    0, 0xff, 0x51, 3, 0x07, 0xa1, 0x20, // 500000 µs a quarter note
    0, 0xc0, 0,
    0, 0x90, 60, 100, 0, 0x90, 64, 100, 0, 0x90, 67, 100,
    ...varLen(960), 0x80, 60, 0, 0, 0x80, 64, 0, 0, 0x80, 67, 0,
    0, 0xff, 0x2f, 0,
  ];
  const be = (n, bytes) => Array.from({ length: bytes }, (_, i) => (n >> (8 * (bytes - 1 - i))) & 0xff);
  return new Uint8Array([
    0x4d, 0x54, 0x68, 0x64, ...be(6, 4), ...be(0, 2), ...be(1, 2), ...be(480, 2),
    0x4d, 0x54, 0x72, 0x6b, ...be(events.length, 4), ...events,
  ]);
}

const smoke = {
  ready: false,
  failure: null,
  instance: null,
  synth: null,
  tap: null,

  // Records `ms` of what SDL's audio node plays, started by `start` (a function), and answers
  // with the figures the test judges: peak, RMS, clipped samples and zero crossings a second.
  async record(ms, start) {
    const sdl = this.instance.SDL2;
    const context = sdl.audioContext;
    if (!this.tap) {
      await context.audioWorklet.addModule('recorder-worklet.js');
      this.tap = new AudioWorkletNode(context, 'zorbilo-recorder', { numberOfInputs: 1, numberOfOutputs: 1 });
      sdl.audio.scriptProcessorNode.connect(this.tap);
      this.tap.connect(context.destination);
    }
    const blocks = [];
    this.tap.port.onmessage = (e) => blocks.push(e.data);
    this.tap.port.postMessage('start');
    start();
    await new Promise((done) => setTimeout(done, ms));
    this.tap.port.postMessage('stop');
    await new Promise((done) => setTimeout(done, 50));
    let peak = 0, sum = 0, count = 0, clipped = 0, crossings = 0, last = 0, heard = 0;
    for (const block of blocks) {
      const left = block[0];
      for (let i = 0; i < left.length; ++i) {
        for (const channel of block) {
          const v = channel[i];
          peak = Math.max(peak, Math.abs(v));
          if (Math.abs(v) >= 1) ++clipped;
        }
        const v = left[i];
        if (Math.abs(v) > 1e-4) {
          sum += v * v;
          ++heard;
        }
        if ((last < 0 && v >= 0) || (last >= 0 && v < 0)) ++crossings;
        last = v;
        ++count;
      }
    }
    return {
      rate: context.sampleRate,
      frames: count,
      peak,
      rms: heard ? Math.sqrt(sum / heard) : 0,
      clipped,
      heardSeconds: heard / context.sampleRate,
      crossingsPerSecond: heard ? crossings / 2 / (heard / context.sampleRate) : 0,
    };
  },

  tone(ms) { return this.record(ms, () => this.instance.ccall('smoke_play_tone', 'number', [], [])); },

  async music(ms) {
    const synth = this.synth;
    await synth.addSMFDataToPlayer(chordMidi());
    await synth.playPlayer();
    return this.record(ms, () => this.instance.ccall('smoke_start_music', null, [], []));
  },

  // Colours at [x, y] points of the canvas, as 0xRRGGBB.
  pixels(points) {
    const canvas = document.getElementById('canvas');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    return points.map(([x, y]) => {
      const i = (y * canvas.width + x) * 4;
      return (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    });
  },

  // How many pixels of a rectangle have a given colour.
  count(x0, y0, w, h, colour) {
    const canvas = document.getElementById('canvas');
    const data = canvas.getContext('2d').getImageData(x0, y0, w, h).data;
    let n = 0;
    for (let i = 0; i < data.length; i += 4) {
      if (((data[i] << 16) | (data[i + 1] << 8) | data[i + 2]) === colour) ++n;
    }
    return n;
  },
};
window.smoke = smoke;

(async () => {
  try {
    say('Loading the font and the sound font…');
    const [font, soundFont] = await Promise.all([fetchBytes('ipag.ttf'), fetchBytes('TimGM6mb.sf2'),
      JSSynth.waitForReady()]);
    say('Starting…');
    const instance = await ZorbiloSmoke({
      canvas: document.getElementById('canvas'),
      preRun: [(module) => { module.FS.writeFile('/ipag.ttf', font); }],
      print: (text) => console.log(text),
      printErr: (text) => console.warn(text),
    });
    smoke.instance = instance;
    // An exception in main() ends it without a word (the runtime has already resolved its
    // promise): the program says it got through instead.
    if (!instance.smoke || instance.smoke.started !== 'yes') {
      throw new Error(`the program stopped while starting: ${JSON.stringify(instance.smoke)}`);
    }
    // The synthesiser runs at the rate SDL's audio runs at, which the browser chooses.
    const synth = new JSSynth.Synthesizer();
    synth.init(instance.SDL2.audioContext.sampleRate);
    // Loading a font from memory goes through FluidSynth's file tests, stubs in WebAssembly that
    // log an error each time; a font that does not load rejects the promise all the same.
    JSSynth.disableLogging(JSSynth.LogLevel.Error);
    try {
      await synth.loadSFont(soundFont.buffer);
    } finally {
      JSSynth.restoreLogging();
    }
    smoke.synth = synth;
    let left = new Float32Array(0), right = new Float32Array(0);
    // What rendering costs the audio callback, which shares the page's one thread with the game.
    smoke.renderCalls = 0;
    smoke.renderMs = 0;
    instance.renderMusic = (out, frames) => {
      const started = performance.now();
      if (left.length !== frames) { left = new Float32Array(frames); right = new Float32Array(frames); }
      synth.render([left, right]);
      for (let i = 0; i < frames; ++i) { out[2 * i] = left[i]; out[2 * i + 1] = right[i]; }
      smoke.renderMs += performance.now() - started;
      smoke.renderCalls += 1;
      smoke.renderFrames = frames;
      return true;
    };
    smoke.ready = true;
    say('Ready.');
  } catch (err) {
    smoke.failure = String(err && err.stack || err);
    say(`Failed: ${err}`);
    console.error(err);
  }
})();
