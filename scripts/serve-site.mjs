// A small static server for the site folder (scripts/build-site.sh) on
// 127.0.0.1, what scripts/run-web.sh runs: the files as they are, except that
// a file the build also wrote precompressed (NAME.br, NAME.gz) is sent so when
// the request's Accept-Encoding allows it, with Content-Encoding and
// Vary: Accept-Encoding, and the type of NAME (application/wasm for .wasm).
// A folder's address serves its index.html. Files are revalidated on each
// visit (Cache-Control: no-cache with an ETag): the service worker keeps them
// for offline use, the HTTP cache only saves a transfer when nothing changed.
//
//   node scripts/serve-site.mjs SITE_DIR [PORT]     (PORT 8000 by default; 0: any free port)
//
// Other scripts import createSiteServer, which also reports every response's
// bytes on the wire (onSent), for the tests that count them.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8', '.css': 'text/css; charset=utf-8',
  '.json': 'application/json', '.wasm': 'application/wasm', '.png': 'image/png',
  '.svg': 'image/svg+xml', '.txt': 'text/plain; charset=utf-8', '.md': 'text/plain; charset=utf-8',
  '.cpp': 'text/plain; charset=utf-8', '.h': 'text/plain; charset=utf-8', '.ttf': 'font/ttf',
  '.tar': 'application/x-tar', '.data': 'application/octet-stream',
};

// The encodings a request accepts, by its Accept-Encoding header ("br;q=0" refuses).
export function acceptedEncodings(header) {
  const accepted = new Set();
  for (const part of String(header || '').split(',')) {
    const [name, ...params] = part.trim().toLowerCase().split(';');
    const q = params.map((p) => /^\s*q=([0-9.]+)\s*$/.exec(p)).find(Boolean);
    if (name && !(q && Number(q[1]) === 0)) accepted.add(name);
  }
  return accepted;
}

// The file a request's path names inside root, or null (outside root, a
// precompressed copy asked for by name, no such file).
function fileOf(root, pathname) {
  let name;
  try {
    name = decodeURIComponent(pathname);
  } catch {
    return null;
  }
  if (name.includes('\0')) return null;
  let file = path.join(root, path.posix.normalize(`/${name}`));
  if (file !== root && !file.startsWith(root + path.sep)) return null;
  let stat = fs.statSync(file, { throwIfNoEntry: false });
  if (stat && stat.isDirectory()) {
    file = path.join(file, 'index.html');
    stat = fs.statSync(file, { throwIfNoEntry: false });
  }
  return stat && stat.isFile() ? { file, stat } : null;
}

// Serves `root`. onSent(pathname, bytes, encoding) hears of every response
// with the bytes of its body as sent (compressed when it was).
export function createSiteServer(root, { onSent = () => {} } = {}) {
  const folder = path.resolve(root);
  return http.createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    const found = request.method === 'GET' || request.method === 'HEAD' ? fileOf(folder, url.pathname) : null;
    // A directory address without its slash: relative links need the slash.
    if (found && found.file.endsWith(`${path.sep}index.html`) && !url.pathname.endsWith('/') &&
        !url.pathname.endsWith('index.html')) {
      response.writeHead(301, { Location: `${url.pathname}/${url.search}` });
      response.end();
      onSent(url.pathname, 0, null);
      return;
    }
    if (!found) {
      response.writeHead(request.method === 'GET' || request.method === 'HEAD' ? 404 : 405,
                         { 'Content-Type': 'text/plain; charset=utf-8' });
      response.end('not found\n');
      onSent(url.pathname, 10, null);
      return;
    }
    const accepted = acceptedEncodings(request.headers['accept-encoding']);
    let { file, stat } = found;
    let encoding = null;
    for (const [name, suffix] of [['br', '.br'], ['gzip', '.gz']]) {
      if (!accepted.has(name)) continue;
      const packed = fs.statSync(file + suffix, { throwIfNoEntry: false });
      // A copy older than its file is left over from an earlier build: not sent.
      if (packed && packed.isFile() && packed.mtimeMs >= stat.mtimeMs) {
        encoding = name;
        file += suffix;
        stat = packed;
        break;
      }
    }
    const type = TYPES[path.extname(found.file).toLowerCase()] || 'application/octet-stream';
    const etag = `"${stat.size.toString(16)}-${Math.floor(stat.mtimeMs).toString(16)}${encoding ? `-${encoding}` : ''}"`;
    const headers = { 'Content-Type': type, 'Cache-Control': 'no-cache', ETag: etag, Vary: 'Accept-Encoding' };
    if (encoding) headers['Content-Encoding'] = encoding;
    if (request.headers['if-none-match'] === etag) {
      response.writeHead(304, headers);
      response.end();
      onSent(url.pathname, 0, encoding);
      return;
    }
    headers['Content-Length'] = stat.size;
    response.writeHead(200, headers);
    if (request.method === 'HEAD') {
      response.end();
      onSent(url.pathname, 0, encoding);
      return;
    }
    const stream = fs.createReadStream(file);
    stream.on('error', () => response.destroy());
    stream.on('end', () => onSent(url.pathname, stat.size, encoding));
    stream.pipe(response);
  });
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const [root, portText = '8000'] = process.argv.slice(2);
  if (!root || !fs.existsSync(path.join(root, 'index.html')) || !/^\d+$/.test(portText)) {
    console.error('usage: serve-site.mjs SITE_DIR [PORT]   (SITE_DIR: the folder scripts/build-site.sh wrote)');
    process.exit(2);
  }
  const server = createSiteServer(root);
  server.on('error', (error) => {
    console.error(`serve-site: ${error.message}`);
    process.exit(1);
  });
  server.listen(Number(portText), '127.0.0.1', () => {
    console.log(`serve-site: ${path.resolve(root)} at http://127.0.0.1:${server.address().port}/ (Ctrl+C stops it)`);
  });
}
