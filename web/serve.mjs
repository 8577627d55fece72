// A static server for the site folder, on 127.0.0.1 only: what any web host does, and no more
// (no special headers: the site must run without cross-origin isolation). The browser tests use
// it on a free port; `scripts/web --serve` runs it for a person.
//   node web/serve.mjs SITE_DIR [PORT]
import { createServer } from 'node:http';
import { createReadStream, statSync } from 'node:fs';
import { extname, join, normalize, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm', // streaming compilation insists on it
  '.json': 'application/json',
  '.css': 'text/css; charset=utf-8',
  '.png': 'image/png',
  '.ico': 'image/x-icon',
  '.wav': 'audio/wav',
  '.mid': 'audio/midi',
  '.sf2': 'application/octet-stream',
  '.ttf': 'font/ttf',
  '.data': 'application/octet-stream',
  '.txt': 'text/plain; charset=utf-8',
};

export function startServer(root, port = 0) {
  const base = resolve(root);
  const server = createServer((req, res) => {
    let path;
    try {
      path = decodeURIComponent(new URL(req.url, 'http://localhost').pathname);
    } catch {
      res.writeHead(400).end('bad request');
      return;
    }
    if (path.endsWith('/')) path += 'index.html';
    const file = normalize(join(base, path));
    if (file !== base && !file.startsWith(base + sep)) {
      res.writeHead(403).end('forbidden');
      return;
    }
    let size;
    try {
      const st = statSync(file);
      if (!st.isFile()) throw new Error('not a file');
      size = st.size;
    } catch {
      res.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found');
      return;
    }
    if (req.method !== 'GET' && req.method !== 'HEAD') {
      res.writeHead(405, { Allow: 'GET, HEAD' }).end();
      return;
    }
    res.writeHead(200, {
      'Content-Type': TYPES[extname(file).toLowerCase()] || 'application/octet-stream',
      'Content-Length': size,
      'Cache-Control': 'no-cache',
    });
    if (req.method === 'HEAD') res.end();
    else createReadStream(file).pipe(res);
  });
  return new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, '127.0.0.1', () => {
      done({ server, url: `http://127.0.0.1:${server.address().port}/` });
    });
  });
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const [root, portText = '8021'] = process.argv.slice(2);
  const port = Number(portText);
  if (!root || !Number.isInteger(port) || port < 0 || port > 65535) {
    console.error('usage: node web/serve.mjs SITE_DIR [PORT]');
    process.exit(2);
  }
  try {
    if (!statSync(root).isDirectory()) throw new Error();
  } catch {
    console.error(`error: ${root} is not a folder; build the site first (scripts/web).`);
    process.exit(1);
  }
  startServer(root, port).then(
    ({ url }) => {
      let page = url;
      try {
        statSync(join(root, 'index.html'));
      } catch {
        page += 'smoke.html';
      }
      console.log(`Serving ${resolve(root)} at ${page} (Ctrl+C stops it)`);
    },
    (err) => {
      console.error(err.code === 'EADDRINUSE'
        ? `error: port ${port} is taken; choose another: scripts/web --serve PORT`
        : `error: cannot serve on 127.0.0.1:${port}: ${err.message}`);
      process.exit(1);
    });
}
