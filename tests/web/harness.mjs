// What the browser suites share: puppeteer-core from scripts/web's npm folder, Debian's Chromium
// headless, the checks and their tally, and a watch on a page's errors and on requests to any
// host but its own.
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

export function puppeteerFrom(modules) {
  return createRequire(join(resolve(modules), 'package.json'))('puppeteer-core');
}

export function launchChromium(puppeteer, userDataDir, extraArgs = []) {
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', ...extraArgs],
  });
}

export function makeChecks() {
  const tally = { passed: 0, failed: 0 };
  tally.check = (name, ok, detail = '') => {
    if (ok) ++tally.passed; else ++tally.failed;
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}${ok || !detail ? '' : `: ${detail}`}`);
  };
  tally.summary = () => console.log(`${tally.passed} passed, ${tally.failed} failed`);
  return tally;
}

// Console errors, uncaught exceptions and failed requests go to errors; a request to another
// origin goes to foreign (data: and blob: are the page's own).
export function watchPage(page, origin) {
  const errors = [], foreign = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('requestfailed', (r) => errors.push(`request failed: ${r.url()} ${r.failure()?.errorText}`));
  page.on('request', (r) => {
    const u = r.url();
    if (!u.startsWith('data:') && !u.startsWith('blob:') && new URL(u).origin !== origin) foreign.push(u);
  });
  return { errors, foreign };
}
