// The page around the game: it loads the program and its files (with a progress bar), keeps the
// program folder in IndexedDB, runs the synthesiser the music is pulled from, sizes the canvas
// by a whole factor, asks for full screen when the game does, closes the game when the page is
// hidden or closed, and offers 設定 and "start again". Nothing comes from any other host.
'use strict';

const FOLDER = '/zorbilo';
// What the game keeps between runs; the rest of the folder is what the site brings.
const KEPT = ['Zorbilo.ini', 'ハイスコア.txt'];
const MEDIA = ['START.wav', 'SWAT.wav', 'MISS.wav', 'CLEAR.wav', 'TIMEUP.wav', 'BGM.mid', 'FINAL.mid'];
// The desktop's music volume: FluidSynth at gain 0.6 (see the desktop's music stream).
const MUSIC_GAIN = 0.6;

const $ = (id) => document.getElementById(id);
const canvas = $('canvas');
const stage = $('stage');

const page = {
  instance: null,
  music: null,
  ended: false,
  wantFullScreen: false,
  firstFrameAt: null,
  timing: {},
  errors: [],
};
window.zorbilo = page;

// ---- loading, with one progress bar over every file -----------------------------------------

const progress = { loaded: new Map(), total: new Map() };
function showProgress() {
  let loaded = 0, total = 0;
  for (const [name, size] of progress.total) {
    total += size;
    loaded += Math.min(size, progress.loaded.get(name) || 0);
  }
  if (total > 0) $('progress').value = loaded / total;
}

async function fetchBytes(name) {
  const response = await fetch(name);
  if (!response.ok) throw new Error(`${name}: HTTP ${response.status}`);
  const length = Number(response.headers.get('Content-Length')) || 0;
  progress.total.set(name, length);
  if (!response.body || !length) {
    const bytes = new Uint8Array(await response.arrayBuffer());
    progress.loaded.set(name, bytes.length);
    showProgress();
    return bytes;
  }
  const reader = response.body.getReader();
  const parts = [];
  let got = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    parts.push(value);
    got += value.length;
    progress.loaded.set(name, got);
    showProgress();
  }
  const bytes = new Uint8Array(got);
  let at = 0;
  for (const part of parts) {
    bytes.set(part, at);
    at += part.length;
  }
  return bytes;
}

// ---- the program folder in IndexedDB ----------------------------------------------------------

let syncing = null;
let syncAgain = false;

// A page being closed or reloaded is gone before IndexedDB has answered (a sync takes several
// turns of the page), so every flush also leaves a copy of each kept file in localStorage, which
// is written at once. The copy is used at the next start when it is newer than the stored file;
// each is one item, so it too is whole or absent.
const MIRROR = 'zorbilo:';
function mirror(FS) {
  try {
    for (const name of KEPT) {
      const path = `${FOLDER}/${name}`;
      let stat = null;
      try { stat = FS.stat(path); } catch (e) { continue; }
      const bytes = FS.readFile(path);
      let text = '';
      for (const b of bytes) text += String.fromCharCode(b);
      localStorage.setItem(MIRROR + name, JSON.stringify({ time: stat.mtime.getTime(), bytes: text }));
    }
  } catch (e) {
    // No localStorage (a private window may refuse it): IndexedDB alone, as far as it gets.
  }
}
function restoreNewerCopies(FS) {
  let restored = false;
  for (const name of KEPT) {
    const path = `${FOLDER}/${name}`;
    let copy = null;
    try { copy = JSON.parse(localStorage.getItem(MIRROR + name)); } catch (e) { copy = null; }
    if (!copy || typeof copy.time !== 'number' || typeof copy.bytes !== 'string') continue;
    let stored = -Infinity;
    try { stored = FS.stat(path).mtime.getTime(); } catch (e) { /* not stored yet */ }
    if (copy.time <= stored) continue;
    FS.writeFile(path, Uint8Array.from(copy.bytes, (c) => c.charCodeAt(0)));
    FS.utime(path, copy.time, copy.time);
    restored = true;
  }
  return restored;
}

// Stores the kept files, one sync at a time: IDBFS writes a sync's files in one transaction, so a
// record is stored whole or not at all.
function flush() {
  const FS = page.instance && page.instance.FS;
  if (!FS) return Promise.resolve();
  mirror(FS);
  if (syncing) {
    syncAgain = true;
    return syncing;
  }
  syncing = new Promise((done) => {
    FS.syncfs(false, (err) => {
      if (err) console.warn('Zorbilo: the files could not be stored:', err);
      done();
    });
  }).then(() => {
    syncing = null;
    if (syncAgain) {
      syncAgain = false;
      return flush();
    }
  });
  return syncing;
}
page.flush = flush;

// Only the game's own files go to storage: the media are the site's and come with every load.
function keepOnlyTheGamesFiles(FS) {
  const idbfs = FS.filesystems.IDBFS;
  const localSet = idbfs.getLocalSet;
  const kept = new Set(KEPT.map((name) => `${FOLDER}/${name}`));
  idbfs.getLocalSet = (mount, callback) => localSet(mount, (err, set) => {
    if (!err) {
      for (const path of Object.keys(set.entries)) if (!kept.has(path)) delete set.entries[path];
    }
    callback(err, set);
  });
}

// ---- the music: FluidSynth with the General MIDI font ----------------------------------------

function makeMusic() {
  const pieces = new Map();
  let nextId = 1;
  let fluid = null, synth = null, raw = 0, player = 0;
  let lastId = 0, cut = true;
  let left = new Float32Array(0), right = new Float32Array(0);

  function dropPlayer() {
    if (!player) return;
    fluid._fluid_player_stop(player);
    fluid._delete_fluid_player(player);
    player = 0;
  }

  return {
    ready: false,
    // Frames rendered so far, and where each play began among them: how a loop's seam is judged.
    rendered: 0,
    plays: [],
    load(bytes) {
      const id = nextId++;
      pieces.set(id, bytes);
      return id;
    },
    free(id) { pieces.delete(id); },
    // A piece from its beginning. The same piece again after its natural end starts over its last
    // notes' release, as a loop does on the desktop; any other start is from a silent synthesiser.
    play(id) {
      const bytes = pieces.get(id);
      if (!this.ready || !bytes) return -1;
      dropPlayer();
      if (id !== lastId || cut) fluid._fluid_synth_system_reset(raw);
      player = fluid._new_fluid_player(raw);
      if (!player) return -1;
      const mem = fluid._malloc(bytes.length);
      fluid.HEAPU8.set(bytes, mem);
      const added = fluid._fluid_player_add_mem(player, mem, bytes.length);
      fluid._free(mem);
      if (added !== 0 || fluid._fluid_player_play(player) !== 0) {
        dropPlayer();
        return -1;
      }
      lastId = id;
      cut = false;
      if (this.plays.length >= 256) this.plays.shift();
      this.plays.push({ id, frame: this.rendered });
      return 0;
    },
    halt() {
      dropPlayer();
      if (raw) fluid._fluid_synth_all_sounds_off(raw, -1);
      cut = true;
    },
    render(out, frames) {
      if (left.length !== frames) {
        left = new Float32Array(frames);
        right = new Float32Array(frames);
      }
      synth.render([left, right]);
      this.rendered += frames;
      for (let i = 0; i < frames; ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
      }
      return true;
    },
    async start(soundFont, rate) {
      await JSSynth.waitForReady();
      fluid = Module;  // libfluidsynth's own module, which js-synthesizer binds to
      synth = new JSSynth.Synthesizer();
      synth.init(rate);
      // Loading a font from memory goes through FluidSynth's file tests, stubs in WebAssembly
      // that log an error each time; a font that does not load rejects all the same.
      JSSynth.disableLogging(JSSynth.LogLevel.Error);
      try {
        await synth.loadSFont(soundFont.buffer);
      } finally {
        JSSynth.restoreLogging();
      }
      synth.setGain(MUSIC_GAIN);
      raw = synth.getRawSynthesizer();
      this.ready = true;
    },
  };
}

// ---- the picture: a whole factor of device pixels ----------------------------------------------

function layout() {
  const dpr = window.devicePixelRatio || 1;
  const box = stage.getBoundingClientRect();
  const k = Math.floor(Math.min((box.width * dpr) / 640, (box.height * dpr) / 480));
  let width, height;
  if (k >= 1) {
    width = (640 * k) / dpr;
    height = (480 * k) / dpr;
  } else {
    // Smaller than the picture itself (a phone held upright): the best that fits.
    const f = Math.min(box.width / 640, box.height / 480);
    width = 640 * f;
    height = 480 * f;
  }
  canvas.style.width = `${width}px`;
  canvas.style.height = `${height}px`;
  if (page.instance) page.instance._zorbilo_set_cursor_scale(Math.max(1, Math.round(width / 640)));
}
window.addEventListener('resize', layout);
// The right button may be the swat button: no menu over the game.
canvas.addEventListener('contextmenu', (e) => e.preventDefault());
document.addEventListener('fullscreenchange', layout);

// The browser grants full screen only from the player's own click, tap or key.
function onGesture() {
  if (page.wantFullScreen && !document.fullscreenElement && stage.requestFullscreen) {
    stage.requestFullscreen().catch(() => {});
  }
  if (document.activeElement !== canvas && !document.querySelector('dialog[open]')) canvas.focus();
}
for (const type of ['pointerdown', 'keydown', 'touchend']) {
  document.addEventListener(type, onGesture, true);
}

// ---- closing ------------------------------------------------------------------------------------

// Hidden or closed counts as the close button: the game writes its record, the page stores it.
function closeGame() {
  if (page.instance && !page.ended) page.instance._zorbilo_close();
  flush();
}
document.addEventListener('visibilitychange', () => {
  if (document.visibilityState === 'hidden') closeGame();
});
window.addEventListener('pagehide', closeGame);

function showEnded() {
  canvas.classList.remove('shown');
  $('ended').hidden = false;
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  $('again').focus();
}
$('again').addEventListener('click', () => location.reload());

// Restarting after 設定: the game closes (its record is kept), the files are stored, and the
// page loads afresh, so the game reads the new settings at its start as on the desktop.
async function restart() {
  closeGame();
  await flush();
  location.reload();
}

// ---- start -------------------------------------------------------------------------------------

async function start() {
  const say = (text) => { $('status').textContent = text; };
  layout();
  page.music = makeMusic();
  // The program is compiled while the rest still loads.
  const program = fetchBytes('Zorbilo.wasm').then((bytes) => WebAssembly.compile(bytes));
  const font = fetchBytes('ipag.ttf');
  const media = Promise.all(MEDIA.map((name) => fetchBytes(`media/${name}`)));

  const mark = (what) => (promise) => promise.then((v) => { page.timing[what] = Math.round(performance.now()); return v; });
  const [compiled, fontBytes, mediaBytes] = await Promise.all([mark('compiled')(program), mark('font')(font),
    mark('media')(media)]);
  say('起動中…');
  const instance = await Zorbilo({
    canvas,
    instantiateWasm: (imports, done) => {
      WebAssembly.instantiate(compiled, imports).then((made) => done(made, compiled));
      return {};
    },
    thisProgram: `${FOLDER}/Zorbilo`,
    zorbiloMusic: page.music,
    // Both may come while the program starts (the game opens its display in its first moments).
    zorbiloFullScreen: (on) => {
      page.wantFullScreen = on;
      if (!on && document.fullscreenElement) document.exitFullscreen().catch(() => {});
    },
    zorbiloEnded: () => {
      page.ended = true;
      flush();
      if (page.instance) showEnded();
    },
    preRun: [(m) => {
      // Keys go to the canvas, not the whole page: the dialog's controls keep theirs.
      m.ENV.SDL_EMSCRIPTEN_KEYBOARD_ELEMENT = '#canvas';
      m.FS.mkdir('/fonts');
      m.FS.writeFile('/fonts/ipag.ttf', fontBytes);
      m.FS.mkdir(FOLDER);
      keepOnlyTheGamesFiles(m.FS);
      m.FS.mount(m.FS.filesystems.IDBFS, {}, FOLDER);
      m.addRunDependency('zorbilo-storage');
      m.FS.syncfs(true, (err) => {
        if (err) console.warn('Zorbilo: the stored files could not be read:', err);
        page.restored = restoreNewerCopies(m.FS);
        MEDIA.forEach((name, i) => m.FS.writeFile(`${FOLDER}/${name}`, mediaBytes[i]));
        m.removeRunDependency('zorbilo-storage');
      });
    }],
    // A program that stops on a fault leaves the "start again" screen, not a dead canvas.
    onAbort: (what) => {
      page.errors.push(String(what));
      page.ended = true;
      showEnded();
    },
    print: (text) => console.log(text),
    printErr: (text) => console.warn(text),
  });
  page.instance = instance;
  page.timing.started = Math.round(performance.now());
  if (page.restored) flush();  // what the last page could not store in time
  layout();
  $('loading').hidden = true;
  canvas.classList.add('shown');
  canvas.focus();
  page.firstFrameAt = performance.now();
  $('settings').disabled = false;
  if (page.ended) showEnded();

  // The sound font only now, so that the title is not kept waiting for its 6 MB: the title has
  // no music, and a piece played before the font is in starts, from its beginning, when it is.
  const audio = instance.SDL2 && instance.SDL2.audioContext;
  if (audio) {
    $('note').textContent = '音源を読み込み中…';
    await page.music.start(await fetchBytes('TimGM6mb.sf2'), audio.sampleRate);
    $('note').textContent = '';
    instance._zorbilo_music_ready();
  }
}

$('settings').addEventListener('click', () => {
  if (!page.instance) return;
  ZorbiloSettings.open(page.instance, { onSaved: async () => { await flush(); }, restart });
});

start().catch((e) => {
  page.errors.push(String(e));
  $('status').textContent = `Zorbilo could not start: ${e.message || e}`;
  console.error(e);
});
