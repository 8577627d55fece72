// The smoke page in a real browser: Debian's Chromium, headless, driven by puppeteer-core, the
// page served from 127.0.0.1. Checks the canvas pixel by pixel, the sound SDL_mixer and the
// synthesiser make (recorded inside the page), a file kept across a reload, a clean console and
// no request to any other host.
//   node tests/web/browser_test.mjs SITE_DIR     (CHROMIUM, ZORBILO_NODE_MODULES from scripts/web)
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const { startServer } = await import(join(here, '../../web/serve.mjs'));
const site = process.argv[2];
const modules = process.env.ZORBILO_NODE_MODULES;
if (!site || !modules) {
  console.error('usage: ZORBILO_NODE_MODULES=DIR node tests/web/browser_test.mjs SITE_DIR (scripts/web runs it)');
  process.exit(2);
}
const { puppeteerFrom, launchChromium, makeChecks, watchPage } = await import(join(here, 'harness.mjs'));
const puppeteer = puppeteerFrom(modules);
const tally = makeChecks();
const { check } = tally;
const hex = (c) => `#${c.toString(16).padStart(6, '0')}`;
const near = (value, expected, tolerance) => Math.abs(value - expected) <= tolerance;

const { server, url } = await startServer(site, 0);
const origin = new URL(url).origin;
const profile = mkdtempSync(join(tmpdir(), 'zorbilo-chromium-'));
// Nothing left behind when the browser or a check hangs.
const guard = setTimeout(() => {
  console.log('FAIL the browser suite did not finish within 180 s');
  ++tally.failed;
  tally.summary();
  process.exit(1);
}, 180000);

const browser = await launchChromium(puppeteer, profile, ['--autoplay-policy=no-user-gesture-required']);
try {
  const page = await browser.newPage();
  const { errors, foreign } = watchPage(page, origin);

  const load = async () => {
    const started = Date.now();
    await page.goto(`${url}smoke.html`, { waitUntil: 'load' });
    await page.waitForFunction('window.smoke && (window.smoke.ready || window.smoke.failure)', { timeout: 30000 });
    const state = await page.evaluate(() => ({ failure: smoke.failure, report: smoke.instance && smoke.instance.smoke }));
    return { ...state, ms: Date.now() - started };
  };

  // ---- start-up and the picture
  let state = await load();
  check('the page starts the program', !state.failure && state.report && state.report.started === 'yes',
    state.failure || JSON.stringify(state.report));
  check('the program reports no error', state.report && !state.report.error, state.report && state.report.error);
  console.log(`     ready ${state.ms} ms after navigation; audio: ${state.report && state.report.audio}`);

  await page.waitForFunction('Number(smoke.instance.smoke.frames) >= 20', { timeout: 10000 }).catch(() => {});
  const frames = await page.evaluate(() => Number(smoke.instance.smoke.frames || 0));
  check('the main loop keeps turning', frames >= 20, `${frames} frames`);
  const rate = await page.evaluate(async () => {
    const count = () => Number(smoke.instance.smoke.frames || 0);
    const [n0, t0] = [count(), performance.now()];
    await new Promise((done) => setTimeout(done, 1000));
    return (count() - n0) / ((performance.now() - t0) / 1000);
  });
  console.log(`     main loop: about ${rate.toFixed(0)} turns a second (requestAnimationFrame)`);

  const points = {
    'bar 1 white': [[40, 50], 0xffffff], 'bar 2 yellow': [[120, 50], 0xffff00],
    'bar 3 cyan': [[200, 99], 0x00ffff], 'bar 4 green': [[319, 0], 0x00ff00],
    'bar 5 magenta': [[320, 99], 0xff00ff], 'bar 6 red': [[440, 50], 0xff0000],
    'bar 7 blue': [[520, 50], 0x0000ff], 'bar 8 black': [[639, 99], 0x000000],
    'background': [[600, 400], 0x204060], 'background under the bars': [[0, 100], 0x204060],
    'BMP left half': [[104, 204], 0xff0000], 'BMP right half': [[112, 207], 0x0000ff],
    'beside the BMP': [[116, 204], 0x204060],
    'icon, opaque yellow': [[324, 208], 0xffff00], 'icon, opaque black': [[324, 224], 0x000000],
    'icon, transparent': [[304, 208], 0x204060], 'icon, bottom right corner': [[331, 231], 0x000000],
  };
  const got = await page.evaluate((p) => smoke.pixels(p), Object.values(points).map(([xy]) => xy));
  const wrong = Object.entries(points).filter(([, [, want]], i) => got[i] !== want)
    .map(([name, [, want]], i) => `${name}: ${hex(got[Object.keys(points).indexOf(name)])} for ${hex(want)}`);
  check('the canvas shows the picture pixel for pixel (bars, BMP, icon)', wrong.length === 0, wrong.join('; '));
  const white = await page.evaluate(() => smoke.count(40, 300, 200, 40, 0xffffff));
  check('SDL_ttf draws the text with FreeType', white > 60 && white < 3000, `${white} white pixels`);

  // ---- sound: SDL_mixer's WAV, then the synthesiser through the music hook
  const tone = await page.evaluate(() => smoke.tone(500));
  console.log(`     tone: ${JSON.stringify(tone)}`);
  check('the WAV plays at its level (peak 0.5, RMS 0.354)',
    near(tone.peak, 0.5, 0.03) && near(tone.rms, 0.3536, 0.03) && tone.heardSeconds > 0.3,
    `peak ${tone.peak.toFixed(3)}, RMS ${tone.rms.toFixed(3)}, ${tone.heardSeconds.toFixed(2)} s heard`);
  check('the WAV keeps its pitch through the rate conversion (440 Hz)',
    near(tone.crossingsPerSecond, 440, 10), `${tone.crossingsPerSecond.toFixed(1)} Hz`);
  check('the WAV is not clipped', tone.clipped === 0, `${tone.clipped} clipped samples`);

  const music = await page.evaluate(() => smoke.music(600));
  console.log(`     music: ${JSON.stringify(music)}`);
  const cost = await page.evaluate(() => ({ calls: smoke.renderCalls, ms: smoke.renderMs, frames: smoke.renderFrames }));
  console.log(`     synthesiser: ${cost.calls} blocks of ${cost.frames} frames, ${(cost.ms / cost.calls).toFixed(2)} ms each`);
  check('the MIDI chord sounds through the music hook',
    music.peak > 0.02 && music.rms > 0.005 && music.heardSeconds > 0.4,
    `peak ${music.peak.toFixed(4)}, RMS ${music.rms.toFixed(4)}, ${music.heardSeconds.toFixed(2)} s heard`);
  check('the MIDI chord is not clipped', music.clipped === 0 && music.peak < 1, `${music.clipped} clipped, peak ${music.peak}`);

  // ---- persistent storage across a reload
  await page.waitForFunction('smoke.instance.smoke.saved !== undefined', { timeout: 10000 }).catch(() => {});
  const first = await page.evaluate(() => smoke.instance.smoke);
  check('a fresh profile has no record, and the new one is flushed', first.previous === '0' && first.saved === 'yes',
    `previous ${first.previous}, saved ${first.saved}`);
  state = await load();
  await page.waitForFunction('smoke.instance.smoke.saved !== undefined', { timeout: 10000 }).catch(() => {});
  const second = await page.evaluate(() => smoke.instance.smoke);
  check('the record survives a reload', second.previous === '1' && second.saved === 'yes',
    `previous ${second.previous}, saved ${second.saved}`);

  await page.screenshot({ path: join(site, '..', 'browser-test.png') });
  check('no error in the console', errors.length === 0, errors.join(' | '));
  check('no request to any host but the page\'s own', foreign.length === 0, foreign.join(' '));
} catch (err) {
  check('the browser suite runs to the end', false, String(err && err.stack || err));
} finally {
  clearTimeout(guard);
  await browser.close().catch(() => {});
  server.close();
  rmSync(profile, { recursive: true, force: true });
}
tally.summary();
process.exit(tally.failed === 0 ? 0 : 1);
