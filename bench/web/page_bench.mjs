// What the game's page costs the browser, against a baseline measured in the same run: a page
// that gives one 640x480 canvas a new picture 33 times a second (minimal.html). Both play for the
// same time in the same headless Chromium; the figures are the main thread's busy share (where
// the game, its timers and its audio all run), the time of one turn of each, and the time
// between pictures.
//   node bench/web/page_bench.mjs SITE_DIR [SECONDS]   (scripts/web --bench runs it)
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const { startServer } = await import(join(here, '../../web/serve.mjs'));
const site = process.argv[2];
const seconds = Number(process.argv[3] || 10);
const modules = process.env.ZORBILO_NODE_MODULES;
if (!site || !modules) {
  console.error('usage: ZORBILO_NODE_MODULES=DIR node bench/web/page_bench.mjs SITE_DIR [SECONDS]');
  process.exit(2);
}
const { puppeteerFrom, launchChromium } = await import(join(here, '../../tests/web/harness.mjs'));
const puppeteer = puppeteerFrom(modules);
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));
const profile = mkdtempSync(join(tmpdir(), 'zorbilo-bench-'));
const { server, url } = await startServer(site, 0);
const baseline = await startServer(here, 0);
const browser = await launchChromium(puppeteer, profile);

// Hooks every picture the page puts on its canvas, and (for the game) every turn of its loop.
const instrument = () => {
  window.presents = [];
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    if (window.presents.length < 100000) window.presents.push(performance.now());
    return put.apply(this, args);
  };
};

async function measure(page, start) {
  const cdp = await page.target().createCDPSession();
  await cdp.send('Performance.enable');
  await start();
  await sleep(1000);  // settled
  const metric = async () => Object.fromEntries((await cdp.send('Performance.getMetrics')).metrics.map((m) => [m.name, m.value]));
  await page.evaluate(() => { window.presents.length = 0; if (window.turns) window.turns.length = 0; });
  const before = await metric();
  const t0 = Date.now();
  await sleep(seconds * 1000);
  const after = await metric();
  const wall = (Date.now() - t0) / 1000;
  const { presents, turns } = await page.evaluate(() => ({ presents: window.presents, turns: window.turns || [] }));
  const gaps = presents.slice(1).map((t, i) => t - presents[i]).sort((a, b) => a - b);
  const sorted = [...turns].sort((a, b) => a - b);
  const pick = (a, q) => (a.length ? a[Math.min(a.length - 1, Math.floor(q * a.length))] : 0);
  const mean = (a) => (a.length ? a.reduce((x, y) => x + y, 0) / a.length : 0);
  return {
    busy: (after.TaskDuration - before.TaskDuration) / wall,
    script: (after.ScriptDuration - before.ScriptDuration) / wall,
    pictures: presents.length / wall,
    gapMean: mean(gaps), gap95: pick(gaps, 0.95), gapMax: gaps[gaps.length - 1] || 0,
    turns: turns.length / wall, turnMean: mean(sorted), turn95: pick(sorted, 0.95), turnMax: sorted[sorted.length - 1] || 0,
  };
}

try {
  const base = await browser.newPage();
  await base.setViewport({ width: 1400, height: 1100 });
  await base.evaluateOnNewDocument(instrument);
  const b = await measure(base, () => base.goto(`${baseline.url}minimal.html`, { waitUntil: 'load' }));
  await base.close();

  const game = await browser.newPage();
  await game.setViewport({ width: 1400, height: 1100 });
  await game.evaluateOnNewDocument(instrument);
  await game.evaluateOnNewDocument(() => {
    // The runtime's own hooks around each turn of the main loop.
    window.turns = [];
    let t0 = 0;
    Object.defineProperty(window, 'zorbiloTurnHooks', { value: {
      pre: () => { t0 = performance.now(); },
      post: () => { if (window.turns.length < 100000) window.turns.push(performance.now() - t0); },
    } });
  });
  const g = await measure(game, async () => {
    await game.goto(url, { waitUntil: 'load' });
    await game.waitForFunction('window.zorbilo && zorbilo.firstFrameAt', { timeout: 30000 });
    await game.evaluate(() => {
      zorbilo.instance.preMainLoop = zorbiloTurnHooks.pre;
      zorbilo.instance.postMainLoop = zorbiloTurnHooks.post;
    });
    const r = await game.evaluate(() => { const b = document.getElementById('canvas').getBoundingClientRect(); return [b.left + b.width / 2, b.top + b.height / 2]; });
    await game.mouse.click(r[0], r[1]);  // stage 1, with its music
  });
  const f = (v, d = 2) => v.toFixed(d);
  const row = (name, m) => `| ${name} | ${f(m.busy * 100, 1)} % | ${f(m.script * 100, 1)} % | ${f(m.pictures, 1)} | ${f(m.gapMean)} / ${f(m.gap95)} / ${f(m.gapMax)} ms | ${f(m.turns, 1)} | ${f(m.turnMean, 3)} / ${f(m.turn95, 3)} / ${f(m.turnMax, 3)} ms |`;
  console.log(`${seconds} s each, headless Chromium, the canvas shown at 1280x960`);
  console.log('| page | main thread busy | of it script | pictures/s | between pictures mean / p95 / max | turns/s | one turn mean / p95 / max |');
  console.log('|---|---|---|---|---|---|---|');
  console.log(row('baseline (one canvas, 33 pictures a second)', b));
  console.log(row('the game, stage 1 in play, music on', g));
  console.log(`ratio game / baseline: main thread busy ${f(g.busy / b.busy)}x, time per turn ${f(g.turnMean / b.turnMean)}x`);
} finally {
  await browser.close();
  server.close();
  baseline.server.close();
  rmSync(profile, { recursive: true, force: true });
}
